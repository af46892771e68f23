# vkt2x reads zeros past the end of a short file
# Past the end of the file the header and the stream read as zeros (flag 0: references to
# three zero bytes).
while read -r file decoded stats; do
    CASE="zeros-past-end ($file)"
    fresh data.bin="$file"
    run x data.bin; expect 0 "$stats" "" data.bin="$decoded" data.bin.BAK="$file"
done <<'END'
h0110 z272 8 272
hffff z65535 6 65535
h05 z5 5 5
magic empty 4 0
h0000 empty 6 0
END
