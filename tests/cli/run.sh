#!/usr/bin/env bash
# Runs one group of command-line cases. Each NAME.sh in the group's folder is one case: a few
# lines that run a command and check its status, its output and the files it leaves. Every case
# runs in a subshell, in a fresh scratch folder of its own, after lib.sh and the group's setup.sh
# have been sourced; the group's prep.sh, when present, first makes the files the cases share
# (read-only to them) in $SHARED.
#
# Usage: run.sh GROUP_DIR [ARG...]
# The ARGs (the tools, then a launcher such as `wine`) reach prep.sh and setup.sh as "$@".
# VKT2_CASES=GLOB runs only the cases whose names match GLOB.
set -u
group=$(cd "${1:?usage: run.sh GROUP_DIR [ARG...]}" && pwd) || exit 2
shift
lib=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)/lib.sh
scratch=$(mktemp -d) || exit 1
# A case may leave folders it made unreadable; they are all inside this private scratch folder.
trap 'chmod -R u+rwx "$scratch" 2>/dev/null; rm -rf "$scratch"' EXIT
export SHARED=$scratch/shared
mkdir "$SHARED"
if [ -f "$group/prep.sh" ]; then
    # shellcheck disable=SC1090,SC1091
    (cd "$SHARED" && . "$lib" && . "$group/prep.sh") || {
        echo "FAIL: ${group##*/}/prep.sh could not make the shared files"
        exit 1
    }
fi
passed=0 failed=() skipped=0
for file in "$group"/*.sh; do
    name=${file##*/} name=${name%.sh}
    case $name in setup | prep) continue ;; esac
    # shellcheck disable=SC2053 # the pattern is meant to match as a glob
    [[ $name == ${VKT2_CASES:-*} ]] || continue
    CASE_DIR=$scratch/cases/$name
    mkdir -p "$CASE_DIR/work"
    (
        cd "$CASE_DIR/work" || exit 1
        # shellcheck disable=SC2034 # read by lib.sh's messages
        CASE=$name
        # shellcheck disable=SC1090,SC1091
        . "$lib" && . "$group/setup.sh" && . "$file"
        # shellcheck disable=SC2154 # set by lib.sh
        exit $((failures > 0))
    ) </dev/null
    case $? in
        0) passed=$((passed + 1)) ;;
        77) skipped=$((skipped + 1)) ;;
        *) failed+=("$name") && echo "FAIL: $name" ;;
    esac
    chmod -R u+rwx "$CASE_DIR" 2>/dev/null
    rm -rf "$CASE_DIR"
done
echo "${group##*/}: $passed passed, ${#failed[@]} failed, $skipped skipped"
[ ${#failed[@]} = 0 ]
