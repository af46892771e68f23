# a file cut inside its header fails t
printf VKT2 >bare
printf 'VKT2\005' >five
vkt2 t -q bare five 2>err
status=$?
status_is 1
[ "$(grep -c 'ends inside its 8-byte header' err)" = 2 ] || fail "said: $(cat err)"
