#!/usr/bin/env bash
# Runs the cross-built test host under Wine in a fresh prefix of its own:
#   run_wine.sh <i686|x86_64> <plugin-host.exe> <module> <golden file>
# Exit 0 passed, 1 failed, 77 skipped with the reason printed (no 32-bit execution on this
# kernel, Wine or the 64-bit cross build not installed).
set -uo pipefail
arch=$1 host=$2 module=$3 golden=$4

skip() { echo "SKIPPED: $*"; exit 77; }
case $arch in
  i686) loader=/usr/lib/wine/wine winearch=win32 package=wine32:i386 ;;
  x86_64) loader=/usr/lib/wine/wine64 winearch=win64 package=wine64 ;;
  *) echo "unknown architecture $arch"; exit 1 ;;
esac

[ -x "$loader" ] || skip "$loader is missing (Debian package $package)"
# The wrapper picks the 64-bit server when present; it serves 32-bit clients too.
server=/usr/lib/wine/wineserver
if [ "$arch" = x86_64 ] && [ ! -e "$host" ] && ! command -v x86_64-w64-mingw32-g++ >/dev/null; then
  skip "no x86_64 cross build (x86_64-w64-mingw32-g++ is not installed)"
fi
for f in "$host" "$module" "$golden"; do
  [ -f "$f" ] || { echo "FAIL: $f does not exist"; exit 1; }
done

# The Wine loader is itself a native program of the target width, so it is the probe: a
# kernel without IA-32 execution support refuses it with "Exec format error", and then no
# 32-bit program, Windows or not, can run on this machine.
probe=$("$loader" --version 2>&1)
status=$?
if [ $status -eq 126 ] || grep -q "Exec format error" <<<"$probe"; then
  skip "this kernel cannot execute $arch programs ($loader: Exec format error); the module was checked statically instead"
fi
[ $status -eq 0 ] || { echo "FAIL: $loader --version: $probe"; exit 1; }

prefix=$(mktemp -d "${TMPDIR:-/tmp}/kvdib-wine-$arch.XXXXXX")
export WINEPREFIX=$prefix WINEARCH=$winearch WINEDEBUG=-all WINELOADER=$loader WINESERVER=$server
# Wine keeps the server's socket in /tmp/wine-*/server-<device>-<inode of the prefix>.
server_dir=$(printf 'server-%x-%x' "$(stat -c %d "$prefix")" "$(stat -c %i "$prefix")")
cleanup() {
  "$server" -k >/dev/null 2>&1
  "$server" -w >/dev/null 2>&1
  rm -rf "$prefix"
  for d in /tmp/wine-*/"$server_dir"; do
    [ -d "$d" ] || continue
    rm -rf "$d"
    rmdir "$(dirname "$d")" 2>/dev/null
  done
}
trap cleanup EXIT

# The first start initialises the prefix, which takes a while.
if ! timeout 300 "$loader" wineboot -i >/dev/null 2>&1; then
  echo "FAIL: wineboot could not initialise $prefix"
  exit 1
fi
echo "$probe in $prefix ($winearch)"
timeout 600 "$loader" "$host" "Z:$module" "Z:$golden"
