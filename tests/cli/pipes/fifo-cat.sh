# A named FIFO given to cat is read
posix_only
pack f 'hello hello hello hello'
mkfifo p
# The writer waits in open(2) for the reader; the guard ends it should the reader never come.
(timeout 10 sh -c 'cat f >p' &)
[ "$(timeout 10 "$V" cat p)" = 'hello hello hello hello' ] || fail "cat of a FIFO"
