# vkt2c then vkt2x gives back each file; vkt2c writes the size and two zero bytes after "VKT2"
for f in empty x dec prose mixed z65535 random; do
    CASE="roundtrip ($f)"
    n=$(size "$R/$f")
    fresh f="$f"
    run c f
    packed=$(size f)
    [ "$f" = random ] && packed=65536  # exactly what vkt2x loads
    keep_ref packed f
    expect 0 "$n $packed" "" f=packed f.BAK="$f"
    printf -v h 'VKT2\\x%02x\\x%02x\\0\\0' "$((n & 255))" "$((n >> 8))"
    # shellcheck disable=SC2059 # the escapes in the format spell the bytes
    cmp -s <(head -c 8 f) <(printf "$h") || fail "header $(head -c 8 f | od -An -tx1)"
    mv f.BAK orig
    run x f; expect 0 "$packed $n" "" f="$f" f.BAK=packed orig="$f"
done
