#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# The bash completion of docseek, driven as bash drives it: COMP_WORDS and
# COMP_CWORD set, the function called, COMPREPLY read.
set -u
source "$1/tools/docseek/completions/docseek.bash" || exit 1

failures=0
expect() {
    local want=$1
    shift
    COMP_WORDS=("$@")
    COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
    COMPREPLY=()
    _docseek 2>/dev/null
    local got="${COMPREPLY[*]}"
    if [[ $got != "$want" ]]; then
        echo "FAIL: '$*' completed to '$got', expected '$want'"
        failures=$((failures + 1))
    fi
}

expect "search" docseek se
expect "search types counts help" docseek ""
expect "types" docseek --plugin x.so ty
expect "json" docseek search k --format j
expect "csv" docseek search k -f c
expect "table json csv tsv raw" docseek search k --format ""
expect "pdf ppt" docseek search k --types p
expect "pdf,doc" docseek search k --types pdf,d
expect "--quiet" docseek search k --qu
expect "--json" docseek search k --js
expect "--types" docseek search k --ty
expect "50" docseek search k -n 5
expect "--no-window" docseek search k --no
expect "--download" docseek search k --dow
expect "--max-size" docseek search k --max
expect "10M 100M 1G" docseek search k --max-size 1
expect "100M" docseek search k --max-size 100
# An option's value is not the command.
expect "search" docseek --max-size 5M --download out se
# After the command, a word is the keyword: nothing to offer.
expect "" docseek search ke

if ((failures > 0)); then
    exit 1
fi
echo "bash completion: all cases pass"
