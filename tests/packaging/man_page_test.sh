#!/bin/sh
# man_page_test.sh PROGRAM PAGE: the page documents every option and command that
# `PROGRAM --help` lists, and no option that the help does not know.
set -eu
program=$1
page=$2

help=$("$program" --help)
# One paragraph per line, so that no option is split at a line end.
text=$(groff -man -Tascii -rLL=3000n -P-cbou "$page" 2>/dev/null)

options() { grep -oE -- '(^|[^[:alnum:]-])--?[[:alpha:]][[:alnum:]-]*' | sed 's/^[^-]*//' | sort -u; }
# The synopsis of a help line is what precedes its explanation ("login --pin PIN: ...").
synopses() { sed 's/: .*//'; }
# Commands open a synopsis ("status:", "login --pin PIN:") or follow the program's name.
commands() {
    { grep -oE '^[[:lower:]][[:alpha:]]*(:| -| \[)' | grep -oE '^[[:alpha:]]+'
      grep -oE "^  ${program##*/} [[:lower:]]+" | awk '{print $2}'; } | sort -u
}

status=0
for option in $(printf '%s\n' "$help" | synopses | options); do
    printf '%s\n' "$text" | grep -qe "$option\\b" ||
        { echo "$page: option $option of --help is not documented"; status=1; }
done
for option in $(printf '%s\n' "$text" | options); do
    printf '%s\n' "$help" | grep -qe "$option\\b" ||
        { echo "$page: option $option is not in --help"; status=1; }
done
for command in $(printf '%s\n' "$help" | commands); do
    printf '%s\n' "$text" | grep -qw "$command" ||
        { echo "$page: command $command of --help is not documented"; status=1; }
done
exit $status
