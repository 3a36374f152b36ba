#!/usr/bin/env bash
# The layers include downwards only:
#   platform/  includes nothing of the project above it
#   image/     includes platform/ and image/ only
#   frontend/  (the tool's and the Python module's shared code) includes no cli/, plugin/ or python/
# Usage: check_layers.sh SOURCE_DIR
set -euo pipefail
cd "$1"
status=0
check() {  # <folder> <forbidden include prefixes...>
  local dir=$1; shift
  [ -d "$dir" ] || return 0
  for prefix in "$@"; do
    if hits=$(grep -rnE "^[[:space:]]*#[[:space:]]*include[[:space:]]+\"$prefix/" "$dir" --include='*.h' --include='*.cpp'); then
      echo "$dir/ must not include $prefix/:" >&2
      echo "$hits" >&2
      status=1
    fi
  done
}
check platform image frontend cli plugin python
check image frontend cli plugin python
check frontend cli plugin python
[ $status -eq 0 ] && echo "layers: platform -> image -> frontend -> cli/plugin/python, no include runs back up"
exit $status
