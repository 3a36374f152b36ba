#!/usr/bin/env bash
# Installs what is missing, builds everything and runs every test (ctest).
#   build-test/   sanitized debug build of the library, tests, tool and native module
#   build-win32/  the Windows module and its test host (mingw-w64 cross build)
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=$(nproc 2>/dev/null || echo 2)

scripts/setup.sh
# The Python module is built for Debian's interpreter, for which setup.sh installed pybind11
# and numpy (another python3 earlier on PATH would lack them).
python=()
[ -x /usr/bin/python3 ] && python=(-DPython3_EXECUTABLE=/usr/bin/python3)

# The Windows module first: the test build registers its Wine tests when it exists.
[ -x scripts/build-win32.sh ] && scripts/build-win32.sh

cmake -S . -B build-test -DCMAKE_BUILD_TYPE=Debug -DKVDIB_SANITIZE=ON -DKVDIB_WERROR=ON \
      -DKVDIB_WIN32_DIR="$PWD/build-win32" "${python[@]}" >/dev/null
cmake --build build-test -j"$jobs"

# libFuzzer targets, run over their corpora only.
[ -x scripts/build-fuzz.sh ] && scripts/build-fuzz.sh

ctest --test-dir build-test --output-on-failure -j"$jobs"
