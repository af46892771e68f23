# Long forms, -q for every command, and -h and -V after a command are accepted in silence
pack f 'some text, some text'
for args in 'cat --quiet f' 't --quiet --jobs=2 f' 'l -q f' 'x -h' 'l --version'; do
    read -ra words <<<"$args"
    run "${words[@]}"
    [ "$status" = 0 ] && [ "$(head -n 1 "$CASE_DIR/err" | tr -d '\r')" = '' ] ||
        fail "$args: status $status, said $(cat "$CASE_DIR/err")"
done
