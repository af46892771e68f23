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
    local got
    # In byte order: compgen gives names in the folder's own order.
    got=$(printf '%s\n' "${COMPREPLY[@]}" | LC_ALL=C sort | paste -sd ' ')
    [ "$got" = "$want" ] || { echo "FAIL: '$*' gave '$got', not '$want'" >&2 && failures=$((failures + 1)); }
}
check cat vkt2 ca
check undo vkt2 u
check scan vkt2 s
check '--force --help --json --names --output --quiet --verbose --version -V -f -h -o -q -v' vkt2 scan -
check --archives vkt2 l --a
check --json vkt2 t --js
check --zero-fill vkt2 x --z
check '' vkt2 c --z
check -n vkt2 undo -n
check --dry-run vkt2 undo --d
check 'dir my dir' vkt2 x -o ''
check file vkt2 l 'fi'
check 'my dir' vkt2 l '"my'
check 'my dir' vkt2 l "'my d"
check 'my dir/a b' vkt2 l 'my\ dir/a'
check 'my dir/a b' vkt2 l '"my dir/'
check "it's" vkt2 t "it\\'"
check "it's" vkt2 t "\"it'"
check '~/my dir' vkt2 l '~/my'
check '~/my dir' vkt2 x -o '~/m'
check '~root' vkt2 cat '~roo'
check --names vkt2 cat --na
check 'cp932 raw shift_jis' vkt2 t --names ''
# bash splits --names=ENC at the =.
check shift_jis vkt2 x --names = s
check 'cp932 raw shift_jis' vkt2 undo --names =
[ "$(complete -p vkt2)" = 'complete -o filenames -F _vkt2 vkt2' ] || { echo "FAIL: not registered" >&2 && exit 1; }
[ "$failures" = 0 ]
