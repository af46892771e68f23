# vkt2c refuses input too large for a VKT2 file, touching nothing
before=(small=small folder=/ a65536=a65536 over=over)
fresh "${before[@]}"
run c a65536; expect 1 "" "$LARGE" "${before[@]}"
run c over; expect 1 "" "$LARGE" "${before[@]}"
