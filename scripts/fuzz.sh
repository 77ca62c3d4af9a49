#!/usr/bin/env bash
# Builds the libFuzzer harnesses with clang (ASan + UBSan), seeds each one's
# corpus from the real files under testdata/, and runs every fuzzer for
# SECONDS (default 20), two at a time. Fails when any fuzzer finds a crash,
# hang, sanitizer report, leak or excessive allocation; the input that did it
# is kept under <build>/artifacts/.
# Usage: scripts/fuzz.sh [SECONDS] [FUZZER...]   (FUZZER: e.g. md2 tga)
# Environment: VESK_FUZZ_BUILD (default build-fuzz), VESK_JOBS (default 2).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:-20}
shift || true
build=${VESK_FUZZ_BUILD:-$root/build-fuzz}
jobs=${VESK_JOBS:-2}
data=$root/testdata

# name|max_len|seed patterns, from the one list of fuzzers
targets=()
while read -r name max patterns; do
    case $name in '' | '#'*) continue ;; esac
    targets+=("$name|$max|$patterns")
done <"$root/fuzz/fuzzers.txt"

if [ ! -d "$data/assimp" ] || [ ! -d "$data/openarena" ]; then
    "$root/scripts/fetch-testdata.sh"
fi
command -v clang++ >/dev/null || { echo "clang++ missing: run scripts/setup.sh test" >&2; exit 1; }

CC=clang CXX=clang++ cmake -G Ninja -S "$root" -B "$build" -DVESK_FUZZ=ON -DVESK_TESTS=OFF \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
ninja -C "$build" -j "$jobs" vesk_fuzzers

mkdir -p "$build/corpus" "$build/artifacts" "$build/logs"

# Copies every seed file, cut to the fuzzer's max_len, under the name of its
# content's hash (as libFuzzer names corpus entries), so reruns add nothing twice.
seed() {
    local dir=$1 max=$2
    shift 2
    local pattern file sum
    mkdir -p "$dir"
    for pattern in "$@"; do
        while IFS= read -r -d '' file; do
            sum=$(head -c "$max" "$file" | sha1sum | cut -d' ' -f1)
            [ -e "$dir/$sum" ] || head -c "$max" "$file" >"$dir/$sum"
        done < <(find -L "$data" -type f -iname "$pattern" -print0)
    done
}

run() {
    local name=$1 max=$2 log=$build/logs/$1.log
    # -malloc_limit_mb: no input of at most a few hundred KB may ask for 512 MB at once.
    if "$build/fuzz/fuzz_$name" -max_total_time="$seconds" -max_len="$max" -rss_limit_mb=2048 \
        -malloc_limit_mb=512 -timeout=10 -print_final_stats=1 -artifact_prefix="$build/artifacts/$name-" \
        "$build/corpus/$name" >"$log" 2>&1; then
        echo "$name: ok, $(grep -o 'stat::number_of_executed_units: *[0-9]*' "$log" | grep -o '[0-9]*$') runs," \
            "$(grep -o 'cov: [0-9]*' "$log" | tail -1)"
    else
        echo "$name: FAILED (log $log)"
        grep -E 'ERROR|SUMMARY|fuzz check failed|Test unit written' "$log" | head -20 || true
        return 1
    fi
}

selected=("$@")
failed=0
running=0
for entry in "${targets[@]}"; do
    IFS='|' read -r name max patterns <<<"$entry"
    if [ ${#selected[@]} -gt 0 ] && [[ " ${selected[*]} " != *" $name "* ]]; then continue; fi
    read -r -a globs <<<"$patterns"
    seed "$build/corpus/$name" "$max" "${globs[@]}"
    if [ "$running" -ge "$jobs" ]; then
        wait -n || failed=1
        running=$((running - 1))
    fi
    run "$name" "$max" &
    running=$((running + 1))
done
while [ "$running" -gt 0 ]; do
    wait -n || failed=1
    running=$((running - 1))
done

if [ "$failed" -ne 0 ]; then
    echo "fuzzing found faults; inputs kept in $build/artifacts" >&2
    exit 1
fi
echo "fuzzing: no faults in ${seconds}s per fuzzer"
