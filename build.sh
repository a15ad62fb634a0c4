#!/usr/bin/env bash
# The one entry point: ./build.sh deps|build|test|demo|sanitize|bench|fuzz
# Every command first installs whatever is missing, so a fresh Debian machine needs nothing else.
set -euo pipefail
cd "$(dirname "$0")"

jobs=$(nproc 2>/dev/null || echo 2)
# Warnings are errors where CI says so (CI=true) or the caller asks for it.
werror=${WAVSPEC_WERROR:-$([ "${CI:-}" = true ] && echo ON || echo OFF)}

base_packages=(g++ make cmake pkg-config libsndfile1-dev libfftw3-dev libgtest-dev libcairo2-dev)

# Installs the named Debian packages that are not installed yet: as root, through sudo, or
# else names them and stops.
need() {
  local missing=() p
  for p in "$@"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  local sudo=()
  if [ "$(id -u)" -ne 0 ]; then
    if command -v sudo >/dev/null 2>&1 && sudo -n true 2>/dev/null; then
      sudo=(sudo)
    else
      echo "wavspec needs these packages: ${missing[*]}" >&2
      echo "install them with: sudo apt-get install ${missing[*]}" >&2
      exit 1
    fi
  fi
  echo "installing: ${missing[*]}"
  "${sudo[@]}" apt-get update -qq
  DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
}

deps() { need "${base_packages[@]}"; }

# configure DIR [cmake options...]
configure() {
  local dir=$1; shift
  cmake -S . -B "$dir" -DWAVSPEC_WERROR="$werror" "$@" >/dev/null
}

build() {
  configure build -DCMAKE_BUILD_TYPE=Release
  cmake --build build -j"$jobs"
}

run_tests() {
  local dir=$1
  ctest --test-dir "$dir" --output-on-failure -j"$jobs"
}

cmd_test() { build; run_tests build; }

# Writes build/demo.wav and analyses it twice, with the defaults and with -N 4096 -W hanning -F
# on a copy (each run writes its report next to its WAV file), then shows both summaries.
cmd_demo() {
  build
  local wav=build/demo.wav copy=build/demo-hanning.wav report
  build/tools/wavspec-make-demo "$wav"
  cp "$wav" "$copy"
  echo "== build/wavspec $wav"
  build/wavspec "$wav"
  echo "== build/wavspec $copy -N 4096 -W hanning -F"
  build/wavspec "$copy" -N 4096 -W hanning -F
  for report in "$wav.txt" "$copy.txt"; do
    echo
    echo "== report $PWD/$report, summary:"
    # From the empty line before "FFTsize=" to the end, streamed (a -F report can be large).
    awk 'found { print; next } /^FFTsize=/ { print previous; print; found = 1; next } { previous = $0 }' "$report"
  done
  # Pictures need per-bin lines: the default job is drawn from a third copy analysed with -F.
  local full=build/demo-full.wav
  cp "$wav" "$full"
  build/wavspec "$full" -F >/dev/null
  echo
  for report in "$full.txt" "$copy.txt"; do
    build/wavspec-plot "$report"
    echo "== picture $PWD/${report%.txt}.png"
  done
}

cmd_sanitize() {
  configure build-sanitize -DCMAKE_BUILD_TYPE=RelWithDebInfo -DWAVSPEC_SANITIZE=ON
  cmake --build build-sanitize -j"$jobs"
  ASAN_OPTIONS=detect_leaks=1:abort_on_error=0 UBSAN_OPTIONS=print_stacktrace=1 run_tests build-sanitize
}

# Release build with the benchmark programs, the microbenchmarks, then whole runs of wavspec
# against the floor and the numpy peer; the table also goes to bench/RESULTS.md.
cmd_bench() {
  need libbenchmark-dev python3-numpy python3-scipy time
  configure build -DCMAKE_BUILD_TYPE=Release -DWAVSPEC_BENCH=ON
  local targets=(wavspec wavspec-bench-floor wavspec-microbench)
  cmake --build build --target help | grep wavspec-make-demo >/dev/null && targets+=(wavspec-make-demo)
  cmake --build build -j"$jobs" --target "${targets[@]}"
  build/bench/wavspec-microbench --benchmark_min_time=0.2
  /usr/bin/python3 bench/run_bench.py --build build --results bench/RESULTS.md
}

# Fuzzes the whole program with libFuzzer, each target for a bounded time (60 s unless given):
# builds the targets with clang in build-fuzz/, seeds the recording fuzzer with the files of the
# hostile-input catalogue, replays fuzz/regressions/, then fuzzes. A finding fails the command;
# its input is copied into fuzz/regressions/<target>/ and printed in hex (CI keeps only the log).
cmd_fuzz() {
  local seconds=${1:-60} dir=build-fuzz target found=0
  need clang-14 libclang-rt-14-dev
  build  # the catalogue test that writes the seeds
  CXX=clang++-14 CC=clang-14 configure "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DWAVSPEC_FUZZ=ON \
    -DWAVSPEC_BUILD_TESTS=OFF
  cmake --build "$dir" -j"$jobs" --target fuzz_recording fuzz_arguments
  rm -rf "$dir/corpus" "$dir/artifacts"
  mkdir -p "$dir/corpus/recording" "$dir/corpus/arguments" "$dir/artifacts"
  WAVSPEC_SEED_DIR="$PWD/$dir/corpus/recording" build/tests/hostile_input_test \
    --gtest_filter='Catalogue/*' >/dev/null || true
  cp fuzz/seeds/arguments/* "$dir/corpus/arguments/"
  # Big single allocations are the program's own business (a huge N must fail cleanly or stay
  # untouched), so only resident memory is limited.
  local flags=(-timeout=10 -rss_limit_mb=2048 -malloc_limit_mb=65536 -close_fd_mask=2)
  for target in recording arguments; do
    local binary=$dir/fuzz/fuzz_$target max_len=16384
    [ "$target" = arguments ] && max_len=512
    local saved=(fuzz/regressions/"$target"/*)
    if [ -e "${saved[0]}" ]; then
      echo "== fuzz_$target: replaying ${#saved[@]} regression inputs"
      "$binary" "${flags[@]}" "${saved[@]}" 2>"$dir/replay-$target.log" || {
        cat "$dir/replay-$target.log"; found=1; }
    fi
    echo "== fuzz_$target: fuzzing for $seconds s"
    if ! "$binary" "${flags[@]}" -max_total_time="$seconds" -max_len="$max_len" \
        -dict="fuzz/$target.dict" -artifact_prefix="$dir/artifacts/$target-" -print_final_stats=1 \
        "$dir/corpus/$target" 2>"$dir/fuzz-$target.log"; then
      tail -n 60 "$dir/fuzz-$target.log"
      found=1
    else
      grep -E '^(Done|stat::number_of_executed_units|stat::new_units_added)' "$dir/fuzz-$target.log" || true
    fi
  done
  local artifact
  for artifact in "$dir"/artifacts/*; do
    [ -e "$artifact" ] || continue
    target=${artifact##*/}; target=${target%%-*}
    cp "$artifact" "fuzz/regressions/$target/"
    echo "== finding kept as fuzz/regressions/$target/${artifact##*/}, in hex:"
    od -An -v -tx1 "$artifact" | head -c 20000
  done
  [ "$found" -eq 0 ]
}

usage() {
  echo "usage: ./build.sh deps|build|test|demo|sanitize|bench|fuzz" >&2
  exit 2
}

[ $# -ge 1 ] || usage
command=$1; shift
case "$command" in
  deps) deps ;;
  build) deps; build ;;
  test) deps; cmd_test ;;
  demo) deps; cmd_demo ;;
  sanitize) deps; cmd_sanitize ;;
  bench) deps; cmd_bench ;;
  fuzz) deps; cmd_fuzz "$@" ;;
  *) usage ;;
esac
