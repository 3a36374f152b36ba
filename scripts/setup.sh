#!/usr/bin/env bash
# Installs what is missing on a Debian 12 machine, by group:
#   setup.sh tool   what the kvdib tool and the Python package need (scripts/run.sh): compiler,
#                   CMake, libpng, libjpeg, CLI11, pybind11, the Python headers and numpy
#   setup.sh test   the tool's group and all the tests need (scripts/test.sh): GoogleTest,
#                   Google Benchmark, clang for the fuzz targets, the mingw-w64 cross-compilers,
#                   Wine for the Windows module's tests (left out with KVDIB_NO_WINE=1), the
#                   photograph of the plug-in's tests (python3-skimage), pytest, Dask and Pillow
#                   for the Python package's tests, pkg-config for the package test
# Safe to run again: it only installs what is missing.
set -euo pipefail

# One line per group; a package joins a group by being added to its line.
tool=(cmake g++ make libpng-dev libjpeg62-turbo-dev libcli11-dev pybind11-dev python3-dev python3-numpy)
test=(libgtest-dev libgmock-dev libbenchmark-dev clang libclang-rt-14-dev g++-mingw-w64-i686 mingw-w64-i686-dev
      g++-mingw-w64-x86-64 mingw-w64-x86-64-dev python3 python3-skimage python3-pytest python3-dask
      python3-distributed python3-pil pkgconf)
wine=(wine wine32:i386 wine64)  # part of the test group

group=${1:-}
case $group in
  tool) need=("${tool[@]}") ;;
  test) need=("${tool[@]}" "${test[@]}") ;;
  *) echo "usage: scripts/setup.sh tool|test" >&2; exit 2 ;;
esac
want_wine=0
[ "$group" = test ] && [ "${KVDIB_NO_WINE:-0}" != 1 ] && want_wine=1
[ "$want_wine" = 1 ] && need+=("${wine[@]}")

missing=()
for p in "${need[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done

if [ ${#missing[@]} -gt 0 ]; then
  sudo=""
  [ "$(id -u)" -ne 0 ] && sudo="sudo"
  echo "setup ($group): installing ${missing[*]}" >&2
  # wine32 is an i386 package.
  if [ "$want_wine" = 1 ] && ! dpkg --print-foreign-architectures | grep -qx i386; then
    $sudo dpkg --add-architecture i386
  fi
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >&2
fi
