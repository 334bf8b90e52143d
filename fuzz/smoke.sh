#!/usr/bin/env bash
# A short, bounded run of every fuzz target from its seed corpus: enough to
# catch a crash that a change brings in, short enough for every test run.
set -euo pipefail
build=${1:-build-fuzz}
seconds=${FUZZ_SECONDS:-20}
here=$(dirname "$0")
for target in capture_fuzz cli_fuzz font_fuzz hex_fuzz message_fuzz upload_fuzz; do
    work=$(mktemp -d)
    cp "$here"/corpus/"$target"/* "$work"/ 2>/dev/null || true
    echo "-- $target: ${seconds}s"
    "$build/$target" -max_total_time="$seconds" -max_len=4096 -timeout=10 -rss_limit_mb=2048 \
        -print_final_stats=1 "$work" 2>&1 | tail -n 12
    rm -rf "$work"
done
