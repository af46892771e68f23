#!/usr/bin/env bash
# The bash completion loads in bash and completes commands, each command's options and -o's
# folders.
# Usage: completion_test.sh COMPLETION-SCRIPT
set -u
# shellcheck source=/dev/null
source "$1" || exit 1
cd "$(mktemp -d)" || exit 1
trap 'rm -rf "$PWD"' EXIT
mkdir dir && : >file
failures=0
while IFS='|' read -r words want; do
    read -ra COMP_WORDS <<<"$words"
    # A trailing space starts a new, empty word.
    [[ $words == *' ' ]] && COMP_WORDS+=('')
    COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
    COMPREPLY=()
    _vkt2
    got=${COMPREPLY[*]}
    [ "$got" = "$want" ] || { echo "FAIL: '$words' gave '$got', not '$want'" >&2 && failures=$((failures + 1)); }
done <<'TABLE'
vkt2 ca|cat
vkt2 u|undo
vkt2 s|scan
vkt2 scan -|-o --output -f --force -q --quiet -v --verbose --json -h --help -V --version
vkt2 l --a|--archives
vkt2 t --js|--json
vkt2 x --z|--zero-fill
vkt2 c --z|
vkt2 undo -n|-n
vkt2 undo --d|--dry-run
vkt2 x -o |dir
vkt2 l fi|file
TABLE
[ "$(complete -p vkt2)" = 'complete -o filenames -F _vkt2 vkt2' ] || { echo "FAIL: not registered" >&2 && exit 1; }
[ "$failures" = 0 ]
