# vkt2x without exactly one argument prints the usage line
before=(a=ex b=ex)
fresh "${before[@]}"
run x; expect 1 "" "$USAGE_X" "${before[@]}"
run x a b; expect 1 "" "$USAGE_X" "${before[@]}"
run x a b a; expect 1 "" "$USAGE_X" "${before[@]}"
