#!/usr/bin/env bash
# Installs what is needed, builds the vornix command (release, build/) and decodes the
# bundled sample recording, printing its events.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"

"$root/scripts/install-deps.sh"

build="$root/build"
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release
cmake --build "$build" -j "$(nproc)" --target vornix_cli

cd "$root"
echo
echo "Events in examples/keys.wav (keys 5551234#*0 in light noise):"
"$build/tools/vornix" decode examples/keys.wav
echo
echo "The same events as JSON lines (vornix decode --json):"
"$build/tools/vornix" decode --json examples/keys.wav
