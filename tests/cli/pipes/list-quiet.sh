# l -q prints one line per file, with no heading or total
pack f 'some text, some text'
[ "$(vkt2 l -q f | tr -d '\r')" = "        23         20  -15.0% f" ] || fail "l -q printed: $(vkt2 l -q f)"
