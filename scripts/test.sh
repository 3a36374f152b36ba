#!/usr/bin/env bash
# Installs what is missing (scripts/setup.sh test), builds everything and runs every test
# (ctest), then sums up: one line per skip reason and 'ctest: N passed, N failed, N skipped'.
#   build-test/   sanitized debug build of the library, tests, tool, native module, benchmarks
#   build-win32/  the Windows module and its test host (mingw-w64 cross build)
# The tests labelled bmpsuite read the public BMP conformance suite from KVDIB_BMPSUITE_DIR
# (default: ../shared/testdata/bmpsuite beside the project) and skip when it is absent.
# KVDIB_ALLOW_SKIPS=LABEL,... makes a skipped test without one of those labels a failure.
set -euo pipefail
# A folder given relative to where the command was started.
if [ -n "${KVDIB_BMPSUITE_DIR:-}" ]; then
  KVDIB_BMPSUITE_DIR=$(realpath -m "$KVDIB_BMPSUITE_DIR")
fi
cd "$(dirname "$0")/.."
export KVDIB_BMPSUITE_DIR=${KVDIB_BMPSUITE_DIR:-$(realpath -m ../shared/testdata/bmpsuite)}
jobs=$(nproc 2>/dev/null || echo 2)

scripts/setup.sh test
# The Python module is built for Debian's interpreter, for which setup.sh installed pybind11
# and numpy (another python3 earlier on PATH would lack them).
python=()
[ -x /usr/bin/python3 ] && python=(-DPython3_EXECUTABLE=/usr/bin/python3)

# The Windows module first: the test build registers its Wine tests when it exists.
[ -x scripts/build-win32.sh ] && scripts/build-win32.sh

cmake -S . -B build-test -DCMAKE_BUILD_TYPE=Debug -DKVDIB_SANITIZE=ON -DKVDIB_WERROR=ON -DKVDIB_BENCH=ON \
      -DKVDIB_WIN32_DIR="$PWD/build-win32" -DKVDIB_BMPSUITE_DIR="$KVDIB_BMPSUITE_DIR" "${python[@]}" >/dev/null
cmake --build build-test -j"$jobs"

# libFuzzer targets, run over their corpora only.
[ -x scripts/build-fuzz.sh ] && scripts/build-fuzz.sh

results=$PWD/build-test/ctest-results.xml
rm -f "$results"
status=0
ctest --test-dir build-test --output-on-failure -j"$jobs" --output-junit "$results" || status=$?
echo
allow=()
[ -n "${KVDIB_ALLOW_SKIPS+set}" ] && allow=(--allow-skips "$KVDIB_ALLOW_SKIPS")
python3 scripts/ctest_summary.py build-test "$results" "${allow[@]}" || status=1
exit "$status"
