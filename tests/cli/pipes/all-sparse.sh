# --all copies a sparse file with its holes
posix_only
python3 -c 'import os
for name, size, at in (("d/holes", 256 << 20, (0, 100 << 20, (256 << 20) - 5)), ("d/tail", 64 << 20, (4096,))):
    os.makedirs("d", exist_ok=True)
    with open(name, "wb") as f:
        f.truncate(size)
        for n in at:
            f.seek(n)
            f.write(b"data!")'
[ "$(stat -c %b d/holes)" -le 1024 ] || skip "this file system makes no holes"
vkt2 x -q --all -o out d || fail "status $?"
for f in holes tail; do
    cmp -s "d/$f" "out/$f" || fail "$f differs"
    [ "$(stat -c %b "out/$f")" -le $(($(stat -c %b "d/$f") + 64)) ] ||
        fail "$f takes $(stat -c %b "out/$f") blocks, not about $(stat -c %b "d/$f")"
done
