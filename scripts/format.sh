#!/usr/bin/env bash
# clang-format over every C and C++ source the repository tracks, with the style
# of .clang-format.
#
#   scripts/format.sh          rewrites the files that differ from the style
#   scripts/format.sh --check  changes nothing; lists each difference and fails if any
set -euo pipefail
cd "$(dirname "$0")/.."

if ! command -v clang-format >/dev/null; then
  echo "format: clang-format not found (scripts/install-deps.sh installs it)" >&2
  exit 1
fi

mapfile -d '' sources < <(git ls-files -z -- '*.c' '*.h' '*.cpp')
case "${1:-}" in
  --check)
    if ! clang-format --dry-run -Werror "${sources[@]}"; then
      echo "format: the files above differ from .clang-format; make format rewrites them" >&2
      exit 1
    fi
    echo "format: ${#sources[@]} files follow .clang-format"
    ;;
  "") clang-format -i "${sources[@]}" ;;
  *)
    echo "usage: $0 [--check]" >&2
    exit 2
    ;;
esac
