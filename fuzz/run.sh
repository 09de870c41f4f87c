#!/bin/sh
# Runs every fuzz program of a fuzz build for a bounded time, starting from
# its seed corpus and the inputs earlier runs found (BUILD/fuzz-work). Exits
# non-zero on the first finding (crash, sanitizer report, broken invariant,
# leak, or an input slower than the timeout); the input is kept in
# BUILD/fuzz-findings/.
#   fuzz/run.sh BUILD [SECONDS_EACH] [PROGRAM...]
set -eu

build=$1
seconds=${2:-25}
shift $(($# < 2 ? $# : 2))
programs=${*:-"fuzz_create fuzz_subtone_list fuzz_pitchtally fuzz_patch fuzz_qz_run fuzz_qz_pitchtally fuzz_qz_subtone fuzz_segments fuzz_score_musicxml fuzz_score_midi"}
here=$(cd "$(dirname "$0")" && pwd)
findings=$build/fuzz-findings
mkdir -p "$findings"

# Seconds one input may take. A qz.subtone list that runs into the work
# budget takes ~0.4 s in a release build and ~11 s in the fuzz build (ASan,
# UBSan and coverage; measured on a 2-core machine). An input of
# fuzz_subtone_list holds up to six messages, one of fuzz_qz_subtone up to
# six such searches: four times that, for slower or busier machines.
timeout_of() {
    case $1 in
    fuzz_subtone_list | fuzz_qz_subtone) echo 270 ;;
    # up to 16 script lines, whose subtone lists stay far from the budget
    fuzz_qz_run) echo 90 ;;
    *) echo 10 ;;
    esac
}

for p in $programs; do
    seeds=$here/corpus/$p
    # New inputs go to a scratch folder: the committed corpus stays as it is.
    work=$build/fuzz-work/$p
    mkdir -p "$work"
    echo "== $p: ${seconds}s on $(ls "$seeds" | wc -l) seeds"
    log=$build/fuzz-work/$p.log
    if ! ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
        "$build/bin/$p" -max_total_time="$seconds" -timeout="$(timeout_of "$p")" -rss_limit_mb=2048 \
        -print_final_stats=1 -artifact_prefix="$findings/$p-" "$work" "$seeds" >"$log" 2>&1; then
        tail -n 60 "$log"
        echo "== $p: FINDING (log $log, input in $findings/)" >&2
        exit 1
    fi
    grep -E '^(stat::number_of_executed_units|stat::peak_rss_mb)|DONE' "$log" | sed 's/^/   /'
done
echo "== fuzz-check: no finding"
