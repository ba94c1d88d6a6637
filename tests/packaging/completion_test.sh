#!/bin/bash
# completion_test.sh COMPLETION: what Tab offers on vaultcli command lines.
set -u
# shellcheck source=/dev/null
source "$1"
folder=$(mktemp -d)
trap 'rm -rf "$folder"' EXIT
touch "$folder/update.bin"

status=0
# A command line whose last word is being completed | the offers, sorted.
while IFS='|' read -r line expected; do
    read -ra COMP_WORDS <<<"$line"
    [[ $line == *" " ]] && COMP_WORDS+=("")
    COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
    _vaultcli
    offered=$(printf '%s\n' "${COMPREPLY[@]}" | sort | xargs)
    if [ "$offered" != "$expected" ]; then
        echo "'$line': offered '$offered', expected '$expected'"
        status=1
    fi
done <<EOF_CASES
vaultcli --|--help --version
vaultcli card.img st|startNewSession status
vaultcli card.img unblockPin |--adminPin
vaultcli card.img login --pin |
vaultcli card.img activate --pin 1234 |--adminPin --retryCounter
vaultcli card.img activate --pin 1234 --adminPin 12345678 |--retryCounter
vaultcli card.img activate --pin 1234 --retryCounter 5 |
vaultcli card.img changeAdminPin --adminPin 12345678 --new|--newAdminPin
vaultcli card.img firmwareUpdate --adminPin - |--file
vaultcli card.img firmwareUpdate --pin - --file $folder/up|$folder/update.bin
vaultcli card.img status |
EOF_CASES
exit $status
