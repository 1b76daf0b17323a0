#!/bin/sh
# Builds the fuzzers with clang in their own build folder and fuzzes each for SECONDS: the
# preview reader, the settings hive, the compiled-help writer, then hh.exe's unpacking.
#   fuzz/run-fuzz.sh SECONDS [preview|hive|chmwriter|hh]...
# KVX_FUZZ_BUILD names the build folder (default build-fuzz at the top of the tree);
# KVX_FUZZ_JOBS the build's parallel jobs (default 2). New inputs go to the build folder's
# fuzz-corpus (hive-corpus), crashes to its fuzz-artifacts.
set -eu

seconds=${1:?usage: run-fuzz.sh SECONDS [preview|hive|chmwriter|hh]...}
shift
targets=${*:-preview hive chmwriter hh}
here=$(cd "$(dirname "$0")" && pwd)
root=$(dirname "$here")
build=${KVX_FUZZ_BUILD:-$root/build-fuzz}
jobs=${KVX_FUZZ_JOBS:-2}

flags="-fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer"
cmake -S "$root" -B "$build" \
    -DCMAKE_CXX_COMPILER=clang++ \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DKORVENIX_TESTS=OFF -DKORVENIX_BENCH=OFF \
    -DCMAKE_CXX_FLAGS="$flags" >/dev/null
cmake --build "$build" -j "$jobs" --target fuzz_preview fuzz_seedgen fuzz_hive fuzz_hive_seedgen
cmake --build "$build" -j "$jobs" --target fuzz_chm_writer fuzz_hh fuzz_hh_seedgen

mkdir -p "$build/fuzz-corpus" "$build/hive-corpus" "$build/hh-corpus" "$build/fuzz-artifacts"
common="-max_total_time=$seconds -rss_limit_mb=2048 -timeout=10 -print_final_stats=1
        -artifact_prefix=$build/fuzz-artifacts/"

# The first folder receives what the fuzzer finds; the seeds and past crashers are read only.
for target in $targets; do
    case $target in
    preview)
        "$build/fuzz/fuzz_seedgen" "$build/fuzz-seeds"
        # shellcheck disable=SC2086
        "$build/fuzz/fuzz_preview" $common -max_len=16384 -dict="$here/preview.dict" \
            "$build/fuzz-corpus" "$build/fuzz-seeds" "$here/crashers"
        ;;
    hive)
        "$build/fuzz/fuzz_hive_seedgen" "$build/hive-seeds"
        # shellcheck disable=SC2086
        "$build/fuzz/fuzz_hive" $common -max_len=4096 \
            "$build/hive-corpus" "$build/hive-seeds" "$here/hive-crashers"
        ;;
    chmwriter)
        mkdir -p "$build/chmwriter-corpus"
        # shellcheck disable=SC2086
        "$build/fuzz/fuzz_chm_writer" $common -max_len=8192 "$build/chmwriter-corpus"
        ;;
    hh)
        "$build/fuzz/fuzz_hh_seedgen" "$build/hh-seeds"
        # shellcheck disable=SC2086
        "$build/fuzz/fuzz_hh" $common -max_len=65536 "$build/hh-corpus" "$build/hh-seeds"
        ;;
    *)
        echo "run-fuzz.sh: unknown target $target" >&2
        exit 2
        ;;
    esac
done
