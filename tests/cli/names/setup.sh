# Japanese, Korean and emoji names through all three tools; on Unix, names of Shift-JIS bytes.
# Arguments: VKT2 VKT2X VKT2C [LAUNCHER...]; with a launcher the tools are Windows programs, run
# in a Western and in a Japanese locale, whose code pages hold few or none of these names.
V=$(realpath "$1") X=$(realpath "$2") C=$(realpath "$3") LAUNCH=("${@:4}") win=${4:+1}
locales=(C.UTF-8)
if [ "$win" ]; then
    locales=(en_US.UTF-8 ja_JP.UTF-8)
    [ ! -d "$SHARED/locales" ] || export LOCPATH=$SHARED/locales
fi

# in_locale LOCALE RUN...: runs RUN, through the launcher, in LOCALE.
in_locale() {
    local l=$1
    shift
    LANG=$l LC_ALL=$l "${LAUNCH[@]}" "$@"
}

# said FILE: FILE without the CR that a Windows console stream ends its lines with.
said() { tr -d '\r' <"$1"; }
out=$CASE_DIR/out err=$CASE_DIR/err

# ソ and 表 end in the byte of a backslash in Shift-JIS, where a code page would cut the name.
jp='日本語ソ表.txt' folder='フォルダ' ko='한국어' emoji='파일 😀.txt'
a='aaaa aaaa aaaa aaaa' b='bbbb bbbb bbbb bbbb bbbb'
# "Cannot open the file." as vkt2x and vkt2c have always said it.
cannot_open=$'\x83t\x83@\x83C\x83\x8b\x82\xaa\x8aJ\x82\xaf\x82\xdc\x82\xb9\x82\xf1.'

# Names of raw Shift-JIS bytes, which only a Unix file system keeps as they are: 日本語.txt,
# フォルダ/ソ表 (both of ソ and 表 end in the byte of a backslash), ｶﾀｶﾅ.txt in half-width
# katakana, and a name valid in neither encoding.
sj=$'\x93\xfa\x96{\x8c\xea.txt' sj_dir=$'\x83t\x83H\x83\x8b\x83_' sj_so=$'\x83\x5c\x95\x5c'
sj_kana=$'\xb6\xc0\xb6\xc5.txt' neither=$'\xff\xfe.txt'

# sjis_tree: src holds those four and 日本語.txt in UTF-8; inplace the four alone.
sjis_tree() {
    [ -z "$win" ] || skip "names of Shift-JIS bytes need a Unix file system"
    mkdir -p "src/$sj_dir"
    printf '%s' "$a" >"src/$sj" && printf '%s' "$a" >"src/$sj_dir/$sj_so"
    printf '%s' "$a" >"src/$sj_kana" && printf '%s' "$a" >"src/$neither"
    printf '%s' "$b" >"src/日本語.txt"
    cp -a src inplace && rm "inplace/日本語.txt"
}
