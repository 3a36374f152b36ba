#!/usr/bin/env bash
# Installs the build into a temporary prefix, then builds and runs a small consumer against
# it through find_package(kvdib CONFIG) and through pkg-config, runs the installed tool and
# imports the installed Python package, and builds the Debian package.
#   check_package.sh BUILD_DIR SOURCE_DIR CXX "EXTRA_FLAGS" PLUGIN [PYTHON]
# EXTRA_FLAGS are compile and link flags the consumers need (the sanitizers of a sanitized
# build); PLUGIN is 1 when the native plug-in module was built; PYTHON is the interpreter
# the Python package was built for (none: no package was built).
set -euo pipefail
build=$1 src=$2 cxx=$3 flags=$4 plugin=$5 python=${6:-}
photo=$src/examples/astronaut.bmp
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
prefix=$tmp/prefix

cmake --install "$build" --prefix "$prefix" >/dev/null
for f in include/kvdib/image/KvDIB.h include/kvdib/platform/core/Exceptions.h bin/kvdib; do
  [ -e "$prefix/$f" ] || { echo "not installed: $f" >&2; exit 1; }
done
pc=$(find "$prefix" -name kvdib.pc)
config=$(find "$prefix" -name kvdibConfig.cmake)
[ -n "$pc" ] && [ -n "$config" ] || { echo "no kvdib.pc or kvdibConfig.cmake" >&2; exit 1; }

echo "== find_package(kvdib CONFIG)"
cmake -S "$src/tests/package/consumer" -B "$tmp/cmake" -DCMAKE_PREFIX_PATH="$prefix" \
      -DCMAKE_CXX_COMPILER="$cxx" -DCMAKE_CXX_FLAGS="$flags" -DCMAKE_EXE_LINKER_FLAGS="$flags" | grep "found kvdib"
cmake --build "$tmp/cmake" >/dev/null
"$tmp/cmake/consumer" "$photo"

echo "== pkg-config kvdib"
export PKG_CONFIG_PATH=$(dirname "$pc")
echo "kvdib $(pkg-config --modversion kvdib): $(pkg-config --cflags --libs kvdib)"
# shellcheck disable=SC2046,SC2086
"$cxx" -std=c++20 $flags "$src/tests/package/consumer/main.cpp" $(pkg-config --cflags --libs kvdib) -o "$tmp/pc-consumer"
"$tmp/pc-consumer" "$photo"

echo "== the tool, the plug-in module and the Python package"
"$prefix/bin/kvdib" convert "$photo" "$tmp/out.png" --to 4bit --quiet
if [ "$plugin" = 1 ]; then
  find "$prefix" -path '*/kvdib/vxakvdib.so' | grep -q . || { echo "vxakvdib.so not installed" >&2; exit 1; }
fi
if [ -n "$python" ]; then
  site=$(dirname "$(dirname "$(find "$prefix" -path '*/kvdib/__init__.py')")")
  # A sanitized build's module needs the sanitizer runtime first in the interpreter.
  LD_PRELOAD="${KVDIB_PRELOAD:-}" ASAN_OPTIONS=detect_leaks=0 PYTHONPATH=$site "$python" -c "
import sys, kvdib
assert kvdib.__file__.startswith(sys.argv[2]), kvdib.__file__
png, photo = kvdib.open(sys.argv[1]), kvdib.open(sys.argv[3])
assert (png.to_numpy() == photo.convert('4bit').to_numpy()).all()
print('kvdib', kvdib.__version__, 'from', kvdib.__file__)" "$tmp/out.png" "$site" "$photo"
fi

echo "== Debian package"
(cd "$tmp" && cpack -G DEB --config "$build/CPackConfig.cmake" -B "$tmp/deb" >/dev/null)
deb=$(find "$tmp/deb" -maxdepth 1 -name '*.deb')
dpkg-deb -f "$deb" Package Version Depends
dpkg-deb -c "$deb" > "$tmp/contents"
for f in ./usr/bin/kvdib /kvdib/image/KvDIB.h /cmake/kvdib/kvdibConfig.cmake /pkgconfig/kvdib.pc /libkvdib.a; do
  grep -q -- "$f" "$tmp/contents" || { echo "$f missing from $(basename "$deb")" >&2; exit 1; }
done
if [ -n "$python" ]; then
  grep -q "/kvdib/__init__.py" "$tmp/contents" || { echo "Python package missing from the .deb" >&2; exit 1; }
fi
echo "$(basename "$deb"): $(wc -l < "$tmp/contents") entries"
