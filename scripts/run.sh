#!/usr/bin/env bash
# The main job: installs what is missing, builds the release tool into build/ and converts
# the bundled sample photograph.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release -DKVDIB_BENCH=ON >/dev/null
cmake --build build -j"$(nproc 2>/dev/null || echo 2)"
echo "build/ is ready (the kvdib tool arrives with the BMP stream support)."
