# Wine reads Unix names through the C library's locale: under a launcher, the two locales the
# cases run in are made in $SHARED/locales when the system lacks them.
if [ -n "${4:-}" ]; then
    for l in en_US.UTF-8 ja_JP.UTF-8; do
        [ -z "$(LC_ALL=$l locale 2>&1 >/dev/null)" ] && continue
        mkdir -p locales
        for m in en_US.UTF-8 ja_JP.UTF-8; do
            localedef -i "${m%%.*}" -c -f UTF-8 "locales/$m" ||
                { echo "cannot make the locale $m (Debian's locales package has its sources)" >&2 && exit 1; }
        done
        break
    done
fi
