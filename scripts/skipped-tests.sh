#!/usr/bin/env bash
# Prints how many tests the last ctest run skipped, and why, so that a silent
# skip is seen. Reads ctest's full log: Google Test skips ("file:line: Skipped"
# followed by the reason) and Qt Test skips ("SKIP   : Class::test() reason").
set -euo pipefail
log=${1:-build/Testing/Temporary/LastTest.log}
[ -r "$log" ] || {
    echo "skipped-tests: no test log at $log" >&2
    exit 1
}
awk '
/: Skipped$/ { if ((getline reason) > 0) { count[reason]++; total++ } next }
/^SKIP   : / {
    reason = $0
    sub(/^SKIP   : [^(]*\([^)]*\) ?/, "", reason)
    count[reason]++
    total++
}
END {
    printf "ci: %d test(s) skipped\n", total
    for (reason in count)
        printf "ci:   %d skipped: %s\n", count[reason], reason
}' "$log"
