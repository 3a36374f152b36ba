#!/bin/bash
# Quality and time of every quantizer method next to pngquant (libimagequant) and, when
# FreeImage's development package is installed, FreeImage's Wu quantizer, on photographs,
# in one run. Prints one line per photo and run, then the means over all photos.
#
#   bench/quality.sh [BUILD_DIR] [PHOTO ...]
#
# BUILD_DIR holds kvdib-quality (a Release build with -DKVDIB_BENCH=ON; default build-rel).
# Photos: PNG, JPEG, BMP or PPM files; by default the colour photographs of scikit-image's
# data folder (Debian python3-skimage). PSNR is over all pixels and channels; no method
# dithers unless its line says fs. Times are medians of RUNS runs (default 5): for kvdib
# and Wu the quantization alone, in process; for pngquant the whole process (reading and
# writing its PNG files included, a few ms on these sizes).
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$here/build-rel}
[ $# -gt 0 ] && shift
runs=${RUNS:-5}
quality=$build/kvdib-quality
[ -x "$quality" ] || { echo "no $quality: build with -DKVDIB_BENCH=ON -DCMAKE_BUILD_TYPE=Release" >&2; exit 2; }
data=/usr/lib/python3/dist-packages/skimage/data
photos=("$@")
if [ ${#photos[@]} -eq 0 ]; then
  for f in astronaut.png chelsea.png coffee.png motorcycle_left.png ihc.png hubble_deep_field.jpg retina.jpg rocket.jpg; do
    [ -f "$data/$f" ] && photos+=("$data/$f")
  done
fi
[ ${#photos[@]} -gt 0 ] || { echo "no photographs (install python3-skimage or name some)" >&2; exit 2; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
wu=""
if [ -f /usr/include/FreeImage.h ] && g++ -O2 -std=c++17 "$here/bench/quality/WuQuantize.cpp" -lfreeimage -o "$work/wu" 2>/dev/null; then
  wu=$work/wu
fi

to_ppm() {
  case "$1" in
    *.png) pngtopnm "$1" ;;
    *.jpg | *.jpeg) jpegtopnm "$1" ;;
    *.bmp) bmptopnm "$1" ;;
    *.ppm) cat "$1" ;;
  esac 2>/dev/null
}

median_ms() {  # runs a command $runs times, prints the median wall time in ms
  local t=()
  for _ in $(seq "$runs"); do
    local a b
    a=$(date +%s%N)
    "$@" >/dev/null 2>&1
    b=$(date +%s%N)
    t+=($(((b - a) / 1000)))
  done
  printf '%s\n' "${t[@]}" | sort -n | awk '{v[NR]=$1} END {printf "%.3f", v[int((NR+1)/2)]/1000}'
}

results=$work/results
: >"$results"
for photo in "${photos[@]}"; do
  name=$(basename "${photo%.*}")
  to_ppm "$photo" >"$work/$name.ppm"
  pnmtopng "$work/$name.ppm" >"$work/$name.png" 2>/dev/null
  {
    "$quality" "$work/$name.ppm" --runs "$runs"
    if command -v pngquant >/dev/null; then
      for colors in 256 16; do
        for speed in 1 4 11; do
          out=$work/$name-pq.png
          ms=$(median_ms pngquant --force --nofs --speed "$speed" --output "$out" "$colors" "$work/$name.png")
          pngtopnm "$out" >"$work/$name-pq.ppm" 2>/dev/null
          printf '%-14s %3d %-4s %8.4f %9.3f\n' "pngquant-s$speed" "$colors" none \
            "$("$quality" --psnr "$work/$name.ppm" "$work/$name-pq.ppm")" "$ms"
        done
      done
    fi
    if [ -n "$wu" ]; then
      for colors in 256 16; do "$wu" "$work/$name.png" "$colors" "$runs"; done
    fi
  } | while read -r method colors dither psnr ms _; do
    printf '%-18s %-14s %3s %-4s %8s %9s\n' "$name" "$method" "$colors" "$dither" "$psnr" "$ms"
    echo "$method $colors $dither $psnr $ms" >>"$results"
  done
done

echo
echo "Means over ${#photos[@]} photos:   method  colours dither  PSNR dB   time ms"
awk '{k=$1" "$2" "$3; n[k]++; p[k]+=$4; t[k]+=$5; if (!(k in o)) {o[k]=++c; key[c]=k}}
     END {for (i=1; i<=c; i++) {k=key[i]; split(k, f, " ");
          printf "%-14s %3s %-4s %8.2f %9.2f\n", f[1], f[2], f[3], p[k]/n[k], t[k]/n[k]}}' "$results" | sort -k2,2nr -k4,4n
