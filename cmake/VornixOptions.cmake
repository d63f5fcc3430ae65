# Compiler settings shared by the library, the tests, the benchmarks and the tools.

# Results must not depend on the build: no fused multiply-add contraction and no
# value-changing floating-point shortcuts, so every build rounds the same way.
add_compile_options(-Wall -Wextra -ffp-contract=off -fno-fast-math)

if(VORNIX_SANITIZE STREQUAL "address")
  add_compile_options(-fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined)
elseif(VORNIX_SANITIZE STREQUAL "thread")
  add_compile_options(-fsanitize=thread -fno-omit-frame-pointer)
  add_link_options(-fsanitize=thread)
elseif(NOT VORNIX_SANITIZE STREQUAL "")
  message(FATAL_ERROR "VORNIX_SANITIZE must be empty, address or thread, not '${VORNIX_SANITIZE}'")
endif()
