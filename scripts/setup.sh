#!/usr/bin/env bash
# Installs whatever the build, the tests and the tool need on a Debian 12 machine.
# Safe to run again: it only installs what is missing.
set -euo pipefail

need=(cmake g++ make libgtest-dev libgmock-dev libbenchmark-dev libpng-dev libjpeg62-turbo-dev libcli11-dev
      clang libclang-rt-14-dev g++-mingw-w64-i686 mingw-w64-i686-dev g++-mingw-w64-x86-64
      mingw-w64-x86-64-dev python3-skimage
      pybind11-dev python3-dev python3-numpy python3-pytest python3-dask python3-distributed python3-pil pkgconf)
want_wine=1
[ "${KVDIB_NO_WINE:-0}" = 1 ] && want_wine=0

missing=()
for p in "${need[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ "$want_wine" = 1 ]; then
  for p in wine wine32:i386 wine64; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
  done
fi

if [ ${#missing[@]} -gt 0 ]; then
  sudo=""
  [ "$(id -u)" -ne 0 ] && sudo="sudo"
  echo "setup: installing ${missing[*]}" >&2
  if [ "$want_wine" = 1 ] && ! dpkg --print-foreign-architectures | grep -qx i386; then
    $sudo dpkg --add-architecture i386
  fi
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >&2
fi
