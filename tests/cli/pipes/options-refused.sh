# Unknown options, and options given to a command they do not apply to, are usage errors
pack f 'some text, some text'
while IFS='|' read -r want args; do
    read -ra words <<<"$args"
    run "${words[@]}"
    # A Windows console stream ends its lines with CR LF.
    [ "$status" = 2 ] && [ "$(head -n 1 "$CASE_DIR/err" | tr -d '\r')" = "$want" ] ||
        fail "$args: status $status, said $(cat "$CASE_DIR/err")"
done <<'TABLE'
vkt2: unknown option -Z|t -Z f
vkt2: unknown option --frob|cat --frob f
vkt2: option -o does not apply to t|t -o d f
vkt2: option --zero-fill does not apply to c|c --zero-fill f
TABLE
