# a bad command line exits 2 with the usage line and a pointer to --help
out=$(vkt2 x -j 0 d 2>&1)
status=$?
out=${out//$'\r'/} # a Windows console's line ends
status_is 2
[[ $out == "vkt2: -j needs"*"usage: vkt2"*"Try 'vkt2 --help' for more information." ]] ||
    fail "printed: $out"
vkt2 frobnicate d 2>/dev/null
status=$?
status_is 2
