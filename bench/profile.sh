#!/usr/bin/env bash
# Where wavspec's time goes for the default job, -F, N 2^24 and N 2^24-3: the time and fresh
# pages of each step of the run (wavspec-bench-phases), and the hottest functions of whole runs
# sampled by perf on the cpu-clock event (this machine has no hardware counters), kernel time
# being mostly page faults. Usage: bench/profile.sh [BUILD_DIR]  (built with -DWAVSPEC_BENCH=ON)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
/usr/bin/python3 bench/run_bench.py --build "$build" --inputs-only
in=$build/bench/inputs
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT

# name|N|file|window|F|perf repeats
cases=(
  "default|65536|$in/rec-65536.wav|none|-|40"
  "default -F|65536|$in/rec-65536.wav|none|F|40"
  "N 2^24|16777216|$in/rec-16777216.wav|none|-|2"
  "N 2^24-3|16777213|$in/rec-16777216.wav|none|-|1"
)
for c in "${cases[@]}"; do
  IFS='|' read -r name n file window f repeats <<<"$c"
  echo "=== $name: steps (load $(cut -d' ' -f1 /proc/loadavg))"
  "$build/bench/wavspec-bench-phases" "$file" "$n" "$window" "$f"
  "$build/bench/wavspec-bench-phases" "$file" "$n" "$window" "$f" huge | sed -n '/total/s/^/with huge pages: /p'
  if perf stat -e cpu-clock true >/dev/null 2>&1; then
    cp "$file" "$out/rec.wav"
    opts=(-N "$n"); [ "$f" = F ] && opts+=(-F)
    echo "=== $name: perf, $repeats run(s) of wavspec"
    perf record -q -e cpu-clock -F 4000 -o "$out/perf.data" -- \
      sh -c "for i in \$(seq $repeats); do '$build/wavspec' '$out/rec.wav' ${opts[*]} >/dev/null; done" 2>/dev/null
    perf report -i "$out/perf.data" --stdio --no-children --sort dso 2>/dev/null | grep -v '^#' | grep -v '^$' | head -8
    perf report -i "$out/perf.data" --stdio --no-children --sort sym 2>/dev/null | grep -v '^#' | grep -v '^$' | head -16
  fi
done
