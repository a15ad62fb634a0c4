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
}

cmd_sanitize() {
  configure build-sanitize -DCMAKE_BUILD_TYPE=RelWithDebInfo -DWAVSPEC_SANITIZE=ON
  cmake --build build-sanitize -j"$jobs"
  ASAN_OPTIONS=detect_leaks=1:abort_on_error=0 UBSAN_OPTIONS=print_stacktrace=1 run_tests build-sanitize
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
  *) usage ;;
esac
