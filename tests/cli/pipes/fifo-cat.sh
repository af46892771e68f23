# A named FIFO given to cat is read
posix_only
pack f 'hello hello hello hello'
mkfifo p
(cat f >p &)
[ "$(timeout 10 "$V" cat p)" = 'hello hello hello hello' ] || fail "cat of a FIFO"
