#!/usr/bin/env bash
# Whole-process timings of the kvdib tool next to the tools people use for the same jobs,
# on the bundled photograph enlarged to 3840 x 2160. Run by hand (not in CI), on a quiet
# machine: every process is pinned to one core, the commands of a comparison take turns
# (A B A B ...) so that drift hits both, and the median of the runs is reported.
#
#   bench/cli-bench.sh [RUNS]        default 5 runs per command
#   KVDIB=path/to/kvdib bench/cli-bench.sh
#
# Peers are used where installed: pngquant, ImageMagick's convert. Ratios below 1 mean
# kvdib is faster; sizes are the output files' bytes.
set -euo pipefail
cd "$(dirname "$0")/.."
runs=${1:-5}
kvdib=${KVDIB:-}
if [ -z "$kvdib" ]; then
  for k in build-rel/kvdib build/kvdib; do [ -x "$k" ] && kvdib=$k && break; done
fi
if [ -z "$kvdib" ]; then
  cmake -S . -B build-rel -DCMAKE_BUILD_TYPE=Release -DKVDIB_TESTS=OFF -DKVDIB_PLUGIN=OFF >/dev/null
  cmake --build build-rel -j2 --target kvdib-cli >/dev/null
  kvdib=build-rel/kvdib
fi
pin=()
command -v taskset >/dev/null && pin=(taskset -c 1)
have() { command -v "$1" >/dev/null; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# The enlargement, once: with ImageMagick, or else with Pillow.
src=examples/astronaut.bmp
if have convert; then
  convert "$src" -resize '3840x2160!' "$work/photo.png"
  convert "$work/photo.png" "$work/photo.bmp"
else
  python3 - "$src" "$work" <<'PY'
import sys
from PIL import Image
im = Image.open(sys.argv[1]).convert("RGB").resize((3840, 2160), Image.LANCZOS)
im.save(sys.argv[2] + "/photo.png")
im.save(sys.argv[2] + "/photo.bmp")
PY
fi

# Milliseconds of one run of the command given as arguments (its output thrown away).
run_ms() {
  local t0 t1
  t0=$(date +%s%N)
  "${pin[@]}" "$@" >/dev/null 2>&1
  t1=$(date +%s%N)
  echo $(((t1 - t0) / 1000000))
}
median() { sort -n | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'; }

# compare LABEL OUTPUT_KVDIB OUTPUT_PEER 'kvdib command' 'peer command'
compare() {
  local label=$1 outa=$2 outb=$3 cmda=$4 cmdb=$5 a=() b=()
  eval "$cmda" >/dev/null 2>&1; eval "$cmdb" >/dev/null 2>&1  # warm-up
  for ((i = 0; i < runs; i++)); do
    a+=("$(eval "run_ms $cmda")")
    b+=("$(eval "run_ms $cmdb")")
  done
  local ma mb
  ma=$(printf '%s\n' "${a[@]}" | median)
  mb=$(printf '%s\n' "${b[@]}" | median)
  printf '%-34s %7d ms %7d ms   %5.2fx   %9d %9d bytes  (%.2fx)\n' "$label" "$ma" "$mb" \
    "$(echo "$ma / $mb" | bc -l)" "$(stat -c %s "$outa")" "$(stat -c %s "$outb")" \
    "$(echo "$(stat -c %s "$outa") / $(stat -c %s "$outb")" | bc -l)"
}

w=$work
echo "kvdib: $kvdib; $runs runs each, median; 3840 x 2160 photograph"
printf '%-34s %10s %10s   %6s   %9s %9s\n' "job (kvdib vs peer)" "kvdib" "peer" "ratio" "kvdib" "peer"
if have pngquant; then
  compare "PNG->PNG 8-bit vs pngquant" "$w/k8.png" "$w/q8.png" \
    "$kvdib convert $w/photo.png $w/k8.png --to 8bit -q" \
    "pngquant --nofs --speed 10 --force -o $w/q8.png $w/photo.png"
fi
if have convert; then
  compare "PNG->PNG 8-bit vs ImageMagick" "$w/k8.png" "$w/m8.png" \
    "$kvdib convert $w/photo.png $w/k8.png --to 8bit -q" \
    "convert $w/photo.png +dither -colors 256 $w/m8.png"
  compare "PNG->PNG 24-bit vs ImageMagick" "$w/k24.png" "$w/m24.png" \
    "$kvdib convert $w/photo.png $w/k24.png --to 24bit -q" \
    "convert $w/photo.png $w/m24.png"
  compare "BMP->BMP 8-bit vs ImageMagick" "$w/k8.bmp" "$w/m8.bmp" \
    "$kvdib convert $w/photo.bmp $w/k8.bmp --to 8bit -q" \
    "convert $w/photo.bmp +dither -colors 256 -type Palette $w/m8.bmp"
  compare "BMP->BMP 24-bit vs ImageMagick" "$w/k24.bmp" "$w/m24.bmp" \
    "$kvdib convert $w/photo.bmp $w/k24.bmp --to 24bit -q" \
    "convert $w/photo.bmp -type TrueColor BMP3:$w/m24.bmp"
fi
echo "Goals: 8-bit PNG <= 0.25x pngquant and no larger; 24-bit PNG <= 0.2x ImageMagick and <= 1.1x its size."
