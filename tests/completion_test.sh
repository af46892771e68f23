#!/usr/bin/env bash
# The bash completion loads in bash and completes commands, each command's options, -o's
# folders, --names's encodings, and paths typed inside quotes, with backslashes or from ~.
# Usage: completion_test.sh COMPLETION-SCRIPT
# shellcheck disable=SC2088 # the words are as typed, a ~ unexpanded
set -u
# shellcheck source=/dev/null
source "$1" || exit 1
cd "$(mktemp -d)" || exit 1
trap 'rm -rf "$PWD"' EXIT
mkdir dir 'my dir' && : >file && : >'my dir/a b' && : >"it's"
export HOME=$PWD
failures=0
# check WANT WORD...: completing the last WORD (as typed, quotes and all) offers WANT.
check() {
    local want=$1
    shift
    COMP_WORDS=("$@")
    COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
    COMPREPLY=()
    _vkt2
# folders, --names's encodings, and paths typed inside quotes, with backslashes or from ~.
[ "$(complete -p vkt2)" = 'complete -o filenames -F _vkt2 vkt2' ] || { echo "FAIL: not registered" >&2 && exit 1; }
[ "$failures" = 0 ]
