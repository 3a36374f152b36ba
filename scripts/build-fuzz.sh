#!/usr/bin/env bash
# Builds the libFuzzer targets with clang (AddressSanitizer and UndefinedBehaviorSanitizer)
# in build-fuzz/ and runs each one over its corpus only: every input once, no fuzzing.
#   fuzz_bmp   the named regression files tests/data/bmp_*.bmp and, when it is there, the BMP
#              conformance suite in KVDIB_BMPSUITE_DIR (default ../shared/testdata/bmpsuite)
#   fuzz_NAME  fuzz/corpus/NAME/ when it exists, otherwise a short seeded run (fuzz_frontend:
#              the tool's readers, corpus fuzz/corpus/frontend/ with the named hostile files)
# A long run by hand:  build-fuzz/fuzz/fuzz_bmp -max_total_time=600 CORPUS_DIR
set -euo pipefail
suite=${KVDIB_BMPSUITE_DIR:+$(realpath -m "$KVDIB_BMPSUITE_DIR")}
cd "$(dirname "$0")/.."
suite=${suite:-$(realpath -m ../shared/testdata/bmpsuite)}
jobs=$(nproc 2>/dev/null || echo 2)

CC=clang CXX=clang++ cmake -S . -B build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKVDIB_SANITIZE=ON \
  -DKVDIB_FUZZ=ON -DKVDIB_TESTS=OFF -DKVDIB_CLI=ON -DKVDIB_PLUGIN=OFF -DKVDIB_BENCH=OFF >/dev/null
cmake --build build-fuzz -j"$jobs"

for target in build-fuzz/fuzz/fuzz_*; do
  [ -x "$target" ] || continue
  name=$(basename "$target")
  name=${name#fuzz_}
  inputs=()
  note=""
  if [ "$name" = bmp ]; then
    for d in g q b x; do [ -d "$suite/$d" ] && inputs+=("$suite/$d"/*); done
    [ -d "$suite/g" ] || note=" (BMP suite not found at $suite: tests/data only)"
    for f in tests/data/bmp_*.bmp; do [ -e "$f" ] && inputs+=("$f"); done
  elif [ -d "fuzz/corpus/$name" ]; then
    inputs+=("fuzz/corpus/$name"/*)
  fi
  if [ ${#inputs[@]} -gt 0 ]; then
    what="${#inputs[@]} corpus inputs$note"
    args=("${inputs[@]}")
  else
    what="no corpus, 2000 seeded runs"
    args=(-seed=1 -runs=2000)
  fi
  log=build-fuzz/fuzz_$name.log
  if "$target" -rss_limit_mb=2048 "${args[@]}" >"$log" 2>&1; then
    echo "fuzz_$name: $what: ok"
  else
    cat "$log" >&2
    echo "fuzz_$name: $what: FAILED (log in $log)" >&2
    exit 1
  fi
done
