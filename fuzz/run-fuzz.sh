#!/bin/sh
# Builds the preview fuzzer with clang in its own build folder and fuzzes for SECONDS.
#   fuzz/run-fuzz.sh SECONDS
# KVX_FUZZ_BUILD names the build folder (default build-fuzz at the top of the tree);
# KVX_FUZZ_JOBS the build's parallel jobs (default 2). New inputs go to the build folder's
# fuzz-corpus, crashes to its fuzz-artifacts.
set -eu

seconds=${1:?usage: run-fuzz.sh SECONDS}
here=$(cd "$(dirname "$0")" && pwd)
root=$(dirname "$here")
build=${KVX_FUZZ_BUILD:-$root/build-fuzz}
jobs=${KVX_FUZZ_JOBS:-2}

flags="-fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer"
cmake -S "$root" -B "$build" \
    -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DKORVENIX_TESTS=OFF -DKORVENIX_BENCH=OFF \
    -DCMAKE_CXX_FLAGS="$flags" >/dev/null
cmake --build "$build" -j "$jobs" --target fuzz_preview fuzz_seedgen

mkdir -p "$build/fuzz-corpus" "$build/fuzz-artifacts"
"$build/fuzz/fuzz_seedgen" "$build/fuzz-seeds"

# The first folder receives what the fuzzer finds; the seeds and past crashers are read only.
exec "$build/fuzz/fuzz_preview" \
    -max_total_time="$seconds" -max_len=16384 -rss_limit_mb=2048 -timeout=10 \
    -dict="$here/preview.dict" -artifact_prefix="$build/fuzz-artifacts/" \
    -print_final_stats=1 \
    "$build/fuzz-corpus" "$build/fuzz-seeds" "$here/crashers"
