#!/usr/bin/env bash
# Japanese, Korean and emoji names through all three tools: given as arguments, found in a walk,
# shown in messages and JSON, and mirrored by -o, in place and elsewhere. On Unix, names of
# Shift-JIS bytes too, read by vkt2 --names=shift_jis.
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

    # Names a Unix folder keeps apart but Windows finds as one: in any case, without trailing dots.
    name="$locale: -o settles outputs Windows would write as one"
    if [ "$win" ]; then
        mkdir case && printf '%s' "$a" >case/A.txt && printf '%s' "$b" >case/a.txt &&
            printf '%s' "$a" >case/d && printf '%s' "$b" >case/d.
        run "$V" c -f -j 1 -o case_out case 2>err
        [ $? = 1 ] && [ "$(said err | grep -c 'same output as')" = 2 ] &&
            said err | grep -qxF 'vkt2: case/a.txt: same output as case/A.txt' &&
            said err | grep -qxF 'vkt2: case/d.: same output as case/d' &&
            [ "$(run "$V" cat case_out/A.txt)" = "$a" ] || fail "$(said err)"
        mkdir -p "busy/$jp.\$\$\$" && printf '%s' "$a" >"$jp"
        run "$V" c -o busy "$jp" 2>err
        [ "$(said err | head -n 1)" = "vkt2: $jp: cannot create busy/$jp.\$\$\$: Permission denied" ] ||
            fail "a temporary name taken: $(said err)"
    fi
done

# Names of raw Shift-JIS bytes, which only a Unix file system keeps as they are.
if [ -z "$win" ]; then
    mkdir "$root/sjis" && cd "$root/sjis" || exit 1
    # 日本語.txt, フォルダ/ソ表 (both of ソ and 表 end in the byte of a backslash), ｶﾀｶﾅ.txt
    # in half-width katakana, a name valid in neither encoding, and 日本語.txt in UTF-8.
    sj=$'\x93\xfa\x96{\x8c\xea.txt' sj_dir=$'\x83t\x83H\x83\x8b\x83_' sj_so=$'\x83\x5c\x95\x5c'
    sj_kana=$'\xb6\xc0\xb6\xc5.txt' neither=$'\xff\xfe.txt'
    mkdir -p "src/$sj_dir"
    printf '%s' "$a" >"src/$sj" && printf '%s' "$a" >"src/$sj_dir/$sj_so"
    printf '%s' "$a" >"src/$sj_kana" && printf '%s' "$a" >"src/$neither"
    printf '%s' "$b" >"src/日本語.txt"
    cp -a src inplace && rm "inplace/日本語.txt"

    name="--names=raw, the default, shows the bytes escaped and keeps them under -o"
    "$V" t -v src 2>raw_default
    "$V" t -v --names=raw src 2>raw
    grep -qxF 'vkt2: src/\x93\xfa\x96{\x8c\xea.txt: skipped: not a VKT2 file' raw && cmp -s raw raw_default ||
        fail "$(cat raw raw_default)"
    "$V" c -q -o raw_out src && [ -f "raw_out/$sj_dir/$sj_so" ] && [ -f "raw_out/$sj" ] || fail "c -o"

    name="--names=shift_jis: lines decoded, outputs under their UTF-8 spelling, collisions settled"
    chmod 750 "src/$sj_dir"
    "$V" c -v --names=shift_jis -o out src 2>err
    [ $? = 1 ] && [ "$(sort err)" = 'vkt2: 4 files done, 1 failed, 0 skipped; 76 bytes in, 60 bytes out
vkt2: src/\xff\xfe.txt: compressed to out/\xff\xfe.txt, 19 bytes to 15
vkt2: src/フォルダ/ソ表: compressed to out/フォルダ/ソ表, 19 bytes to 15
vkt2: src/日本語.txt: compressed to out/日本語.txt, 19 bytes to 15
vkt2: src/日本語.txt: same output as src/\x93\xfa\x96{\x8c\xea.txt
vkt2: src/ｶﾀｶﾅ.txt: compressed to out/ｶﾀｶﾅ.txt, 19 bytes to 15' ] || fail "$(cat err)"
    [ "$(cd out && find . | LC_ALL=C sort | tr '\n' '|')" = \
        ".|./フォルダ|./フォルダ/ソ表|./日本語.txt|./ｶﾀｶﾅ.txt|./$neither|" ] &&
        [ "$("$V" cat out/日本語.txt)" = "$a" ] && [ "$(cat src/日本語.txt)" = "$b" ] &&
        [ "$(stat -c %a out/フォルダ)" = 750 ] ||
        fail "outputs: $(find out)"
    "$V" c --json --names=cp932 -o out_json src >json
    [ "$(jq -r 'select(.path_text) | "\(.path_text) \(.output) \(has("output_base64"))"' json)" = \
        "src/フォルダ/ソ表 out_json/フォルダ/ソ表 false
src/日本語.txt out_json/日本語.txt false
src/ｶﾀｶﾅ.txt out_json/ｶﾀｶﾅ.txt false" ] || fail "c -o --json: $(cat json)"

    name="--names=shift_jis: a file spelled as another input's folder fails, whatever the order"
    mkdir -p "fold/${sj_dir}" && printf '%s' "$a" >"fold/$sj_dir/x" && printf '%s' "$b" >fold/フォルダ
    for j in 1 8; do
        "$V" c -j $j --names=shift_jis -o "fold_out$j" fold 2>err
        [ $? = 1 ] && [ "$(head -n 1 err)" = \
            'vkt2: fold/フォルダ: same output as a folder for fold/\x83t\x83H\x83\x8b\x83_/x' ] &&
            [ "$("$V" cat "fold_out$j/フォルダ/x")" = "$a" ] || fail "-j $j: $(cat err)"
    done

    name="--names=cp932 in place, in JSON, listings, cat, undo and the command line"
    "$V" c --json --names=cp932 inplace >json || fail "c in place: $(cat json)"
    [ "$(jq -r 'select(.path_text) | "\(.path_text) \(.backup_text)"' json)" = \
        "inplace/フォルダ/ソ表 inplace/フォルダ/ソ表.BAK
inplace/日本語.txt inplace/日本語.txt.BAK
inplace/ｶﾀｶﾅ.txt inplace/ｶﾀｶﾅ.txt.BAK" ] && [ -f "inplace/$sj.BAK" ] &&
        [ "$(jq -r 'select(.path_base64 == "aW5wbGFjZS///i50eHQ=") | .path_text' json)" = null ] ||
        fail "$(cat json)"
    [ "$("$V" l --names=shift_jis "inplace/$sj" | tail -n 1)" = \
        "        15         19   21.1% inplace/日本語.txt" ] || fail "l"
    "$V" cat --names=shift_jis "src/$sj" 2>err
    [ $? = 1 ] && [ "$(cat err)" = "vkt2: src/日本語.txt: not a VKT2 file" ] || fail "cat: $(cat err)"
    "$V" undo -n --json --names=shift_jis "inplace/$sj" >json &&
        [ "$(jq -r 'select(.type == "file") | "\(.path_text) \(.output_text)"' json)" = \
            "inplace/日本語.txt.BAK inplace/日本語.txt" ] || fail "undo -n --json: $(cat json)"
    "$V" undo -v --names=shift_jis "inplace/$sj_dir" 2>err &&
        [ "$(head -n 1 err)" = "vkt2: inplace/フォルダ/ソ表: restored from inplace/フォルダ/ソ表.BAK, undoing c" ] &&
        [ "$(cat "inplace/$sj_dir/$sj_so")" = "$a" ] || fail "undo: $(cat err)"
    "$V" x --names=shift_jis "inplace/$sj" 2>err
    [ "$(head -n 1 err)" = "vkt2: inplace/日本語.txt: inplace/日本語.txt.BAK already exists" ] ||
        fail "x: $(cat err)"
    "$V" c -q --names=shift_jis -o "$sj_dir" "src/$sj" && "$V" c --names=shift_jis -o "$sj_dir" "src/$sj" 2>err
    [ "$(head -n 1 err)" = "vkt2: src/日本語.txt: フォルダ/日本語.txt already exists (-f replaces it)" ] ||
        fail "c -o again: $(cat err)"
    # An archive's members, where this build reads archives: as a folder's files.
    mkdir arc && "$V" c -q -o arc "src/$sj" && (cd arc && tar cf ../a.tar "$sj")
    if "$V" t -q a.tar 2>/dev/null; then
        "$V" x -q --names=shift_jis -o arc_out a.tar && [ "$(cat arc_out/a.tar/日本語.txt)" = "$a" ] ||
            fail "x on an archive: $(find arc_out)"
    fi
    "$V" t --names=euc-jp src 2>err
    [ $? = 2 ] && [ "$(head -n 1 err)" = "vkt2: --names takes raw, shift_jis or cp932, not 'euc-jp'" ] ||
        fail "a bad --names: $(cat err)"
fi

[ "$failures" = 0 ]
