#!/usr/bin/env bash
# Japanese, Korean and emoji names through all three tools: given as arguments, found in a walk,
# shown in messages and JSON, and mirrored by -o, in place and elsewhere.
#
# Usage: names_e2e.sh VKT2 VKT2X VKT2C [LAUNCHER...]
# With a launcher the tools are Windows programs, run in a Western and in a Japanese locale,
# whose code pages hold few or none of these names. Wine reads Unix names through the C
# library's locale, so both are made here when the system lacks them.
# `A && B || fail` reads as meant.
# shellcheck disable=SC2015
set -u
V=$(realpath "$1") X=$(realpath "$2") C=$(realpath "$3") LAUNCH=("${@:4}") win=${4:+1}
root=$(mktemp -d) || exit 1
trap 'rm -rf "$root"' EXIT
failures=0 name=''
fail() { echo "FAIL [$name]: $*" >&2 && failures=$((failures + 1)); }
# A Windows console stream ends its lines with CR LF.
said() { tr -d '\r' <"$1"; }

# ソ and 表 end in the byte of a backslash in Shift-JIS, where a code page would cut the name.
jp='日本語ソ表.txt' folder='フォルダ' ko='한국어' emoji='파일 😀.txt'
a='aaaa aaaa aaaa aaaa' b='bbbb bbbb bbbb bbbb bbbb'
# "Cannot open the file." as vkt2x and vkt2c have always said it.
cannot_open=$'\x83t\x83@\x83C\x83\x8b\x82\xaa\x8aJ\x82\xaf\x82\xdc\x82\xb9\x82\xf1.'

locales=(C.UTF-8)
if [ "$win" ]; then
    locales=(en_US.UTF-8 ja_JP.UTF-8)
    for l in "${locales[@]}"; do
        [ -z "$(LC_ALL=$l locale 2>&1 >/dev/null)" ] && continue
        export LOCPATH=$root/locales
        mkdir -p "$LOCPATH"
        for m in "${locales[@]}"; do
            localedef -i "${m%%.*}" -c -f UTF-8 "$LOCPATH/$m" ||
                { echo "cannot make the locale $m (Debian's locales package has its sources)" >&2 && exit 1; }
        done
        break
    done
fi

for locale in "${locales[@]}"; do
    run() { LANG=$locale LC_ALL=$locale "${LAUNCH[@]}" "$@"; }
    mkdir "$root/$locale" && cd "$root/$locale" || exit 1

    name="$locale: vkt2c and vkt2x on a name given as an argument"
    printf '%s' "$a" >"$jp"
    run "$C" "$jp" >out 2>err && [ "$(said out)" = 'original = 19 -> compressed = 15' ] &&
        [ "$(head -c 4 "$jp")" = VKT2 ] && [ "$(cat "$jp.BAK")" = "$a" ] || fail "$(said err)"
    mv "$jp.BAK" kept
    run "$X" "$jp" >out 2>err && [ "$(cat "$jp")" = "$a" ] && [ "$(head -c 4 "$jp.BAK")" = VKT2 ] ||
        fail "$(said err)"
    run "$X" "$ko.txt" >out 2>err
    [ $? = 1 ] && [ "$(said err)" = "$cannot_open" ] || fail "a missing name: $(said err)"

    name="$locale: vkt2 in a folder of such names, with -o and in place"
    mkdir -p "$folder/$ko"
    printf '%s' "$a" >"$folder/$jp" && printf '%s' "$b" >"$folder/$ko/$emoji"
    run "$V" c -o "$folder.vkt" --json "$folder" >json 2>err || fail "c -o: $(said err)"
    [ "$(jq -r 'select(.type == "file") | "\(.path) \(.output)"' json | sort)" = \
        "$folder/$jp $folder.vkt/$jp
$folder/$ko/$emoji $folder.vkt/$ko/$emoji" ] || fail "c -o --json: $(cat json)"
    run "$V" x -q "$folder.vkt" 2>err && [ "$(cat "$folder.vkt/$jp")" = "$a" ] &&
        [ "$(cat "$folder.vkt/$ko/$emoji")" = "$b" ] && [ -f "$folder.vkt/$ko/$emoji.BAK" ] ||
        fail "x in place: $(said err)"
    run "$V" t "$folder/$ko/$emoji" 2>err
    [ $? = 1 ] && [ "$(said err | head -n 1)" = "vkt2: $folder/$ko/$emoji: not a VKT2 file" ] ||
        fail "t: $(said err)"
done

[ "$failures" = 0 ]
