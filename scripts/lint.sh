#!/usr/bin/env bash
# clang-tidy with the checks of .clang-tidy over the product code: the card
# library, the programs and the virtual card. Every finding is an error.
# Tests, fuzz targets and benchmarks are left out: they are not shipped, and
# their framework macros would need a second set of exceptions.
#
#   scripts/lint.sh [BUILD]  BUILD: a configured and built folder whose
#                            compile_commands.json is used (default: build)
#   JOBS                     parallel clang-tidy runs (default: 2)
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
build=$(realpath "${1:-build}")
jobs=${JOBS:-2}
started=$(date +%s)

if ! command -v clang-tidy-14 >/dev/null; then
  echo "lint: clang-tidy-14 not found (scripts/install-deps.sh installs it)" >&2
  exit 1
fi
database=$build/compile_commands.json
if [ ! -r "$database" ]; then
  echo "lint: no $database; configure and build first (make lint does both)" >&2
  exit 1
fi

# Folders of the product; the same pattern decides whose headers are checked.
product="^$root/(cardlib|cli|desktop|vcard|partrescan|udev|helpers)/"
mapfile -t sources < <(sed -n 's/^ *"file": "\(.*\)",\{0,1\}$/\1/p' "$database" |
                       grep -E "$product" | sort -u)
if [ ${#sources[@]} -eq 0 ]; then
  echo "lint: $database names no product sources" >&2
  exit 1
fi

echo "lint: clang-tidy on ${#sources[@]} files, $jobs at a time"
status=0
# Findings go to standard output; the counts of warnings outside the product that
# clang-tidy prints on standard error say nothing and are dropped.
printf '%s\0' "${sources[@]}" |
  xargs -0 -n 1 -P "$jobs" clang-tidy-14 -p "$build" -quiet --header-filter="$product" \
    2> >(grep -v -E '^[0-9]+ warnings? generated\.$' >&2) ||
  status=1
if [ $status -ne 0 ]; then
  echo "lint: findings above, after $(($(date +%s) - started)) s" >&2
  exit 1
fi
echo "lint: clean after $(($(date +%s) - started)) s"
