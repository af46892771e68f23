# vkt2x refuses a file without the magic word before touching a stale temporary file
for f in empty short lower vkt1 shifted; do
    CASE="no-magic ($f)"
    fresh in=$f 'in.$$$=stale'
    run x in; expect 1 "" "$NOTVKT2" in=$f 'in.$$$=stale'
done
