# vkt2x and vkt2c leave no temporary file when a message meets a closed pipe
posix_only
printf 'VKT2\377\377' >hungry
head -c 65530 /dev/zero | tr '\0' '\377' >>hungry
closed_pipe 2 "$X" hungry >stat
[ -e 'hungry.$$$' ] && fail "vkt2x left hungry.\$\$\$"
printf 'plain text' >p
closed_pipe 1 "$C" p 2>/dev/null
[ -e 'p.$$$' ] && fail "vkt2c left p.\$\$\$"
cmp -s p.BAK <(printf 'plain text') || fail "vkt2c did not keep the original"
