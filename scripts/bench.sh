#!/usr/bin/env bash
# Runs every benchmark of a build: bash scripts/bench.sh <build dir>
# Prints the machine first, since the figures only mean something with it.
set -euo pipefail

build=${1:?usage: bash scripts/bench.sh <build dir>}
bench_dir=$build/bench
shopt -s nullglob
programs=("$bench_dir"/bench_*)
if [ ${#programs[@]} -eq 0 ]; then
  echo "bench: no benchmarks in $bench_dir (is Google Benchmark installed?)" >&2
  exit 1
fi

cpu=$(grep -m1 '^model name' /proc/cpuinfo | cut -d: -f2- | sed 's/^ *//')
echo "Machine: $(nproc) CPUs, ${cpu:-unknown CPU}, $(uname -sr)"

color=false
[ -t 1 ] && color=true
status=0
for program in "${programs[@]}"; do
  [ -x "$program" ] || continue
  echo
  echo "== ${program##*/}"
  "$program" --benchmark_color=$color || status=1
done
exit $status
