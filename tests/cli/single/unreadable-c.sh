# vkt2c on an input that cannot be opened or read
before=(small=small folder=/ a65536=a65536 over=over)
fresh "${before[@]}"
run c absent; expect 1 "" "$OPEN" "${before[@]}"
run c folder; expect 1 "" "$FOLDER" "${before[@]}"
