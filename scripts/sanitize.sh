#!/usr/bin/env bash
# The second build: clang 14 with AddressSanitizer and UndefinedBehaviorSanitizer,
# halting on the first error. Runs every test, then each fuzz target for a bounded
# time on its seed corpus. Exits non-zero on any failure.
#
#   FUZZ_SECONDS   time per fuzz target (default 30)
#   JOBS           parallel build and test jobs (default: number of cores)
#   SANITIZE_BUILD build folder (default: build-sanitize)
#   VIX_WERROR     ON: compiler warnings are errors (default OFF)
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
build=${SANITIZE_BUILD:-$root/build-sanitize}
jobs=${JOBS:-$(nproc)}
fuzz_seconds=${FUZZ_SECONDS:-30}
started=$(date +%s)

elapsed() { echo $(($(date +%s) - started)); }

for tool in clang-14 clang++-14; do
  if ! command -v "$tool" >/dev/null; then
    echo "sanitize: $tool not found (scripts/install-deps.sh installs it)" >&2
    exit 1
  fi
done

# Also for the build: it runs a sanitized tool that renders the pictures through Qt.
export LSAN_OPTIONS="${LSAN_OPTIONS:+$LSAN_OPTIONS:}suppressions=$root/scripts/lsan-qt.supp"

sanitizers="-fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer"
cmake -S "$root" -B "$build" \
  -DCMAKE_C_COMPILER=clang-14 -DCMAKE_CXX_COMPILER=clang++-14 \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_C_FLAGS="$sanitizers" -DCMAKE_CXX_FLAGS="$sanitizers" \
  -DCMAKE_EXE_LINKER_FLAGS="$sanitizers" -DCMAKE_SHARED_LINKER_FLAGS="$sanitizers" \
  -DVIX_HELPER_DIR="$build/test-helpers" \
  -DVIX_BUILD_FUZZ=ON -DVIX_BUILD_BENCH=OFF -DVIX_WERROR="${VIX_WERROR:-OFF}"
cmake --build "$build" -j"$jobs"
echo "sanitize: build finished after $(elapsed) s"

# Options the caller set come first; the halting ones below win.
export ASAN_OPTIONS="${ASAN_OPTIONS:+$ASAN_OPTIONS:}halt_on_error=1:abort_on_error=1:detect_leaks=1:detect_stack_use_after_return=1:strict_string_checks=1"
export UBSAN_OPTIONS="${UBSAN_OPTIONS:+$UBSAN_OPTIONS:}halt_on_error=1:print_stacktrace=1"
export QT_QPA_PLATFORM=offscreen

status=0
# Tests labelled "display" need a real screen and are left to the normal build.
(cd "$build" && ctest --output-on-failure -j"$jobs" --timeout 600 -LE display) || status=1
echo "sanitize: tests finished after $(elapsed) s"

# Each target fuzzes a scratch copy of its seeds, so the committed corpus stays as it is.
for corpus in "$root"/fuzz/corpus/*/; do
  name=$(basename "$corpus")
  target="$build/fuzz/fuzz_$name"
  if [ ! -x "$target" ]; then
    echo "sanitize: fuzz target fuzz_$name was not built" >&2
    status=1
    continue
  fi
  scratch="$build/fuzz/scratch/$name"
  rm -rf "$scratch" && mkdir -p "$scratch"
  echo "sanitize: fuzzing $name for $fuzz_seconds s"
  if ! "$target" -max_total_time="$fuzz_seconds" -timeout=10 -rss_limit_mb=2048 \
       -close_fd_mask=1 -print_final_stats=1 -artifact_prefix="$build/fuzz/$name-" \
       "$scratch" "$corpus"; then
    echo "sanitize: fuzz_$name found a defect; the input is in $build/fuzz/$name-*" >&2
    status=1
  fi
done

echo "sanitize: finished after $(elapsed) s with status $status"
exit $status
