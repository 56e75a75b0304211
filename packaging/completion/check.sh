#!/bin/bash
# Runs the bash completion of veskel-cli on typical command lines, in a
# folder holding a.vsk, b.txt, -n.txt and sub/, and fails on the first wrong reply.
set -euo pipefail

script="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)/veskel-cli"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
cd "$work"
touch a.vsk b.txt ./-n.txt
mkdir sub

# expect LINE REPLY: completes LINE (cursor at its end; bash splits words at
# blanks and around '=') and compares the sorted words offered with REPLY.
expect() {
    local got
    got="$(
        set +euo pipefail # the completion library is not written for these
        # shellcheck disable=SC1091
        source /usr/share/bash-completion/bash_completion
        # shellcheck disable=SC1090
        source "$script"
        local line=${1//=/ = }
        read -ra COMP_WORDS <<<"$line"
        [[ $line == *' ' ]] && COMP_WORDS+=('')
        COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
        COMP_LINE=$1
        COMP_POINT=${#COMP_LINE}
        _veskel_cli veskel-cli "${COMP_WORDS[COMP_CWORD]}" "${COMP_WORDS[COMP_CWORD - 1]}"
        printf '%s\n' "${COMPREPLY[@]}" | LC_ALL=C sort | paste -sd ' '
    )"
    if [[ $got != "$2" ]]; then
        echo "check.sh: '$1' completes to '$got', expected '$2'" >&2
        exit 1
    fi
    echo "ok: '$1' -> '$got'"
}

expect 'veskel-cli ' '--help --version check convert decrypt encrypt'
expect 'veskel-cli d' 'decrypt'
expect 'veskel-cli c' 'check convert'
expect 'veskel-cli -' '--help --version'
expect 'veskel-cli --version ' ''
expect 'veskel-cli decrypt -' '-- --force --output --password-fd -o'
expect 'veskel-cli encrypt -' '-- --old-format --output --password-fd -o'
expect 'veskel-cli encrypt --old-format -' '-- --force --output --password-fd -o'
expect 'veskel-cli convert -' '-- --output --password-fd -o'
expect 'veskel-cli convert ' 'a.vsk sub'
expect 'veskel-cli convert a.vsk ' '-- --output --password-fd -o'
expect 'veskel-cli convert a.vsk -o ' '-n.txt a.vsk b.txt sub'
expect 'veskel-cli check -' '-- --ask-password --password-fd'
expect 'veskel-cli decrypt ' 'a.vsk sub'
expect 'veskel-cli check ' 'a.vsk sub'
expect 'veskel-cli encrypt ' '-n.txt a.vsk b.txt sub'
expect 'veskel-cli decrypt a.vsk -o ' '-n.txt a.vsk b.txt sub'
expect 'veskel-cli decrypt a.vsk --output=b' 'b.txt'
expect 'veskel-cli decrypt a.vsk --password-fd ' ''
expect 'veskel-cli decrypt a.vsk -o x -' '-- --force --password-fd'
expect 'veskel-cli encrypt --old-format --force b.txt --password-fd 3 ' '-- --output -o'
expect 'veskel-cli encrypt b.txt -o a.vsk --old-format ' '-- --force --password-fd'
expect 'veskel-cli decrypt -- ' 'a.vsk sub'
expect 'veskel-cli check a.vsk ' '-- --ask-password --password-fd'
expect 'veskel-cli check a.vsk --ask-password ' '--'
expect 'veskel-cli check --password-fd 3 a.vsk ' '--'
expect 'veskel-cli decrypt -- a.vsk ' ''
expect 'veskel-cli encrypt -- -' '-n.txt'
echo "check.sh: all completions are right"
