#!/usr/bin/env bash
# A short, bounded run of every fuzz target from its seed corpus: enough to
# catch a crash that a change brings in, short enough for every test run.
# Each fuzzer uses one core, so the targets run as many at a time as there
# are cores; their reports are printed in order once all have ended.
set -uo pipefail
build=${1:-build-fuzz}
seconds=${FUZZ_SECONDS:-20}
here=$(dirname "$0")
targets=(capture_fuzz cli_fuzz font_fuzz hex_fuzz message_fuzz upload_fuzz)
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT

fuzz() { # target
    local work="$out/$1.corpus"
    mkdir -p "$work"
    cp "$here"/corpus/"$1"/* "$work"/ 2>/dev/null || true
    "$build/$1" -max_total_time="$seconds" -max_len=4096 -timeout=10 -rss_limit_mb=2048 \
        -print_final_stats=1 "$work" >"$out/$1.log" 2>&1
    echo $? >"$out/$1.status"
}

for target in "${targets[@]}"; do
    while (($(jobs -rp | wc -l) >= $(nproc))); do
        wait -n
    done
    fuzz "$target" &
done
wait

failed=0
for target in "${targets[@]}"; do
    echo "-- $target: ${seconds}s"
    if [[ "$(cat "$out/$target.status" 2>/dev/null)" == 0 ]]; then
        tail -n 12 "$out/$target.log"
    else
        cat "$out/$target.log"
        echo "-- $target FAILED"
        failed=1
    fi
done
exit $failed
