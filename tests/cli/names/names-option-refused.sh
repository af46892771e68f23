# --names takes raw, shift_jis or cp932, and nothing else
in_locale "${locales[0]}" "$V" t --names=euc-jp . 2>"$err"
[ $? = 2 ] && [ "$(said "$err" | head -n 1)" = "vkt2: --names takes raw, shift_jis or cp932, not 'euc-jp'" ] ||
    fail "a bad --names: $(said "$err")"
