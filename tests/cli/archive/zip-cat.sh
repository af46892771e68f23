# cat on a zip writes what its members decode to, and fails for the damaged one
needs_archives
shared m.zip
run cat m.zip
expect_status 1
expect_out 'hello one'$'\n'
