#!/usr/bin/env bash
# The platform headers must compile after <windows.h>: the Windows build has both in one
# translation unit, and the platform headers define many of our names as macros. Compiles
# one file that includes <windows.h> and then every header under platform/ with the
# mingw-w64 compiler; skips (77) when it is not installed.
# Usage: check_windows_headers.sh SOURCE_DIR
set -euo pipefail
cd "$1"
cxx=i686-w64-mingw32-g++
if ! command -v "$cxx" >/dev/null; then
  echo "check_windows_headers: $cxx not installed, skipped"
  exit 77
fi
tu=$(mktemp --suffix=.cpp)
trap 'rm -f "$tu"' EXIT
{
  echo '#include <windows.h>'
  find platform -name '*.h' | sort | sed 's/.*/#include "&"/'
} >"$tu"
"$cxx" -std=c++20 -DWIN32_LEAN_AND_MEAN -DNOMINMAX -I. -fsyntax-only -Wall -Wextra -Werror "$tu"
echo "check_windows_headers: every platform header compiles after <windows.h>"
