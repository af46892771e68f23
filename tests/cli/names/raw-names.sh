# --names=raw, the default, shows Shift-JIS bytes escaped
sjis_tree
"$V" t -v src 2>raw_default
"$V" t -v --names=raw src 2>raw
grep -qxF 'vkt2: src/\x93\xfa\x96{\x8c\xea.txt: skipped: not a VKT2 file' raw && cmp -s raw raw_default ||
    fail "$(cat raw raw_default)"
