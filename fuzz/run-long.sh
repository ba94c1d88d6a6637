#!/usr/bin/env bash
# Long fuzzing runs outside CI, one target after the other on one core.
#   fuzz/run-long.sh <build folder> <executions> <seconds cap> [target...]
# Binaries are copied first, so rebuilding the folder does not disturb a run. Each
# target's log, grown corpus and any crashing input land in <build>/fuzz/longrun/.
set -uo pipefail
cd "$(dirname "$0")/.."
build=$1 runs=$2 cap=$3
shift 3
targets=("$@")
[ ${#targets[@]} -eq 0 ] && targets=(session_date command_decoders transport_receive mount_table cli_arguments)
out=$build/fuzz/longrun
mkdir -p "$out/bin"
export ASAN_OPTIONS="halt_on_error=1:abort_on_error=1:detect_leaks=1"
export UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1"
for name in "${targets[@]}"; do
  cp "$build/fuzz/fuzz_$name" "$out/bin/"
  mkdir -p "$out/corpus/$name"
  echo "$(date -u +%FT%TZ) start $name" >>"$out/summary.txt"
  "$out/bin/fuzz_$name" -runs="$runs" -max_total_time="$cap" -timeout=10 -rss_limit_mb=2048 \
    -close_fd_mask=1 -print_final_stats=1 -artifact_prefix="$out/$name-" \
    "$out/corpus/$name" "fuzz/corpus/$name" >"$out/$name.log" 2>&1
  status=$?
  executions=$(grep -o 'stat::number_of_executed_units: *[0-9]*' "$out/$name.log" | grep -o '[0-9]*$')
  echo "$(date -u +%FT%TZ) end $name status $status executions ${executions:-unknown}" >>"$out/summary.txt"
done
