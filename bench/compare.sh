#!/usr/bin/env bash
# Runs glyph8's capture benchmark and the Pillow peer in one run and prints
# the per-capture medians and their ratio. Usage: bench/compare.sh [build-dir]
set -euo pipefail
build=${1:-build}
here=$(dirname "$0")
ours=$("$build/glyph8_bench" --benchmark_repetitions=9 --benchmark_report_aggregates_only=true \
    --benchmark_format=json 2>/dev/null)
# Pillow comes from Debian (python3-pil), so use Debian's interpreter.
peer=$(/usr/bin/python3 "$here/pillow_peer.py")
python3 - "$ours" "$peer" <<'PY'
import json, sys
ours = {b["run_name"].split("/")[1]: b["real_time"] * {"ns": 1e-9, "us": 1e-6, "ms": 1e-3}[b["time_unit"]]
        for b in json.loads(sys.argv[1])["benchmarks"] if b.get("aggregate_name") == "median"}
peer = json.loads(sys.argv[2])
print(f"{'capture':20} {'glyph8 median':>14} {'Pillow median':>14} {'ratio':>8}")
for name, t in ours.items():
    p = peer.get(name)
    ratio = f"{p / t:7.0f}x" if p else "       -"
    shown = f"{p * 1e6:11.2f} us" if p else "             -"
    print(f"{name:20} {t * 1e6:11.3f} us {shown} {ratio}")
PY
