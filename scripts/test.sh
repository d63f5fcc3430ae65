#!/usr/bin/env bash
# Installs what is needed, configures, builds and runs the whole test suite.
#   scripts/test.sh                 normal build (build/)
#   scripts/test.sh address         ASan + UBSan build (build-address/)
#   scripts/test.sh thread          TSan build (build-thread/)
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
sanitize="${1:-}"

"$root/scripts/install-deps.sh"

build="$root/build${sanitize:+-$sanitize}"
# The Python module in the normal build; an uninstrumented interpreter cannot load a
# sanitizer build's module.
python=ON
if [ -n "$sanitize" ]; then python=OFF; fi
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DVORNIX_SANITIZE="$sanitize" -DVORNIX_PYTHON="$python"
cmake --build "$build" -j "$(nproc)"
ctest --test-dir "$build" --output-on-failure -j "$(nproc)"
