# --version prints the name and version
out=$(vkt2 --version) || fail "status $?"
[[ $out =~ ^vkt2\ [0-9]+\.[0-9]+ ]] || fail "printed: $out"
