#!/usr/bin/env bash
# The main job: installs what the tool needs (scripts/setup.sh tool), builds the release tool
# into build/ and converts the bundled sample photograph into an 8-bit BMP and a 16-colour
# PNG under out/.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh tool
# The Python module is built for Debian's interpreter, for which setup.sh installed pybind11
# and numpy (another python3 earlier on PATH would lack them).
python=()
[ -x /usr/bin/python3 ] && python=(-DPython3_EXECUTABLE=/usr/bin/python3)
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release -DKVDIB_TESTS=OFF "${python[@]}" >/dev/null
cmake --build build -j"$(nproc 2>/dev/null || echo 2)"

sample=examples/astronaut.bmp
mkdir -p out
build/kvdib convert "$sample" out/astronaut-8bit.bmp --to 8bit
build/kvdib convert "$sample" out/astronaut-16.png --to 4bit
echo
build/kvdib info out/astronaut-8bit.bmp out/astronaut-16.png
echo
echo "The tool is build/kvdib (build/kvdib --help). From $sample it wrote:"
echo "  out/astronaut-8bit.bmp   8-bit BMP, at most 256 colours"
echo "  out/astronaut-16.png     4-bit indexed PNG, at most 16 colours"
if [ -d build/python/kvdib ]; then
  echo "The Python package is in build/python: PYTHONPATH=build/python python3 -c 'import kvdib'"
fi
