#!/usr/bin/env bash
# Cross-builds the Windows plug-in module and its test hosts with mingw-w64:
#   build-win32/          vxakvdib.f32 (i686, the module the host editor loads), plugin-host.exe,
#                         plugin-bench.exe
#   build-win32/x86_64/   the same for 64-bit Windows (vxakvdib.f64), built when the x86_64
#                         toolchain is installed, so the Windows code paths can run under
#                         64-bit Wine where the machine cannot execute 32-bit code
# scripts/test.sh runs this first; the native test build then registers the checks of both.
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=${KVDIB_JOBS:-$(nproc 2>/dev/null || echo 2)}

cross_build() {  # <build dir> <toolchain file>
  cmake -S . -B "$1" -DCMAKE_TOOLCHAIN_FILE="$PWD/cmake/$2" -DCMAKE_BUILD_TYPE=Release \
        -DKVDIB_TESTS=OFF -DKVDIB_CLI=OFF -DKVDIB_BENCH=OFF -DKVDIB_FUZZ=OFF -DKVDIB_PLUGIN=ON >/dev/null
  cmake --build "$1" -j"$jobs" --target vxakvdib plugin-host plugin-bench
}

cross_build build-win32 mingw-w64-i686.cmake
if command -v x86_64-w64-mingw32-g++ >/dev/null; then
  cross_build build-win32/x86_64 mingw-w64-x86_64.cmake
else
  echo "build-win32.sh: x86_64-w64-mingw32-g++ not installed, 64-bit Windows build skipped" >&2
fi
