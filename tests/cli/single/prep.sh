# The reference files the cases copy and compare with, dated 2001 so that a rewritten copy shows.
# Arguments: VKT2X VKT2C [LAUNCHER...]

# shellcheck disable=SC2059 # the escapes in the format spell the bytes
ref() { printf "$2" >"$1"; }
fill() { head -c "$2" /dev/zero | tr '\0' "$3" >"$1"; }
ref ex 'VKT2\x0a\0\xa5\x5a\x07abc\xee\xf4' # "abcabcabca": a reference overlaps its own output
ref dec abcabcabca
ref empty ''
ref x x
ref small small
ref older 'older backup'
ref stale 'left over'
fill hashes 100 '#'
ref short 'VKT'
ref lower 'vkt2\x0a\0\xa5\x5a\x07abc\xee\xf4'
ref vkt1 'VKT1\x0a\0\xa5\x5a\x07abc\xee\xf4'
ref shifted ' VKT2\x0a\0\xa5\x5a\x07abc\xee\xf4'
ref h0110 'VKT2\x10\x01\xa5\x5a'
ref hffff 'VKT2\xff\xff'
ref h05 'VKT2\x05'
ref magic 'VKT2'
ref h0000 'VKT2\0\0'
fill z5 5 '\0'
fill z272 272 '\0'
fill z65535 65535 '\0'
fill z40000 40000 z
fill a65536 65536 a
yes 'the mill wheel turned until the river ran to the sea;' | head -c 30000 >prose
awk 'BEGIN { for (i = 0; i < 5000; i++) printf "%c", i % 7 ? 0 : i * 131 % 256 }' >mixed
# 58,247 literals in groups of a 0xFF flag and eight: a stream of 65,528 bytes.
awk 'BEGIN { for (i = 0; i < 58247; i++) printf "%c", i * 37 % 251 }' >lit
awk 'BEGIN { for (i = 0; i < 58247; i++) printf "%s%c", i % 8 ? "" : "\377", i * 37 % 251 }' >stream
fill tail 4464 J
{ printf 'VKT2\x87\xe3\xa5\x5a' && cat stream tail; } >big58247
{ printf 'VKT2\x88\xe3\xa5\x5a' && cat stream tail; } >big58248
rm stream tail
# Pseudo-random bytes, as many as pack into exactly the 65,536 bytes vkt2x loads; with one more
# byte they pack into 65,537.
awk 'BEGIN { x = 3; for (i = 0; i < 58259; i++) { x = (x * 69069 + 1) % 4294967296; printf "%c", int(x / 16777216) } }' >over
head -c 58258 over >random
touch -d @1000000000 ./*
# Under an emulator, the emulator is kept up for the whole run.
if [ $# -gt 2 ]; then keep_up "${@:3}"; fi
:
