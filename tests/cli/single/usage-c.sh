# vkt2c without exactly one argument prints the usage line
before=(small=small folder=/ a65536=a65536 over=over)
fresh "${before[@]}"
run c; expect 1 "" "$USAGE_C" "${before[@]}"
run c small small; expect 1 "" "$USAGE_C" "${before[@]}"
