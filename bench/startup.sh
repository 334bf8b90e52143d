#!/usr/bin/env bash
# Start-up of glyph8-cli against a C++ hello world built and linked the same
# way (g++ -O2, dynamic libstdc++), medians over many runs in one go, and the
# --each table of the 5,495 ASCII and Big5 level-1 characters.
#   bench/startup.sh [BUILD_DIR] [RUNS] [OTHER_CLI]
# OTHER_CLI, another glyph8-cli (an older build, say), is timed in the same
# run for comparison.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
runs=${2:-300}
cli=$build/glyph8-cli
other=${3:-}
command -v hyperfine >/dev/null || { echo "needs hyperfine (apt-get install hyperfine)" >&2; exit 2; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
printf '#include <iostream>\nint main() { std::cout << "hello\\n"; }\n' >"$work/hello.cpp"
g++ -O2 -o "$work/hello" "$work/hello.cpp"
each=$work/each.txt
{ printf '%s' "$(printf '%b' "$(printf '\\x%x' $(seq 32 126))")"; cat tests/data/big5_level1.txt; } >"$each"

commands=("$work/hello" "$cli 6" "$cli 說")
each_commands=("$cli --each < $each")
if [[ -n "$other" ]]; then
    commands+=("$other 6" "$other 說")
    each_commands+=("$other --each < $each")
fi
hyperfine -N -w 30 -r "$runs" --export-json "$work/start.json" "${commands[@]}" >/dev/null 2>&1
hyperfine -w 3 -r 21 --export-json "$work/each.json" "${each_commands[@]}" >/dev/null 2>&1
python3 - "$work/start.json" "$work/each.json" <<'PY'
import json, statistics, sys
start = json.load(open(sys.argv[1]))["results"]
each = json.load(open(sys.argv[2]))["results"]
median = {r["command"]: statistics.median(r["times"]) for r in start}
hello = next(t for name, t in median.items() if name.endswith("/hello"))
for name, t in median.items():
    print(f"{name:50} median {t * 1000:7.3f} ms  {t / hello:5.2f} x hello")
for r in each:
    print(f"{r['command'].split(' <')[0] + ' (5,495 characters)':50} median "
          f"{statistics.median(r['times']) * 1000:7.3f} ms")
PY
