# x, t, l and cat refuse to read compressed data from a terminal
posix_only
for command in x t l cat; do
    said=$(pty tty "$(command -v timeout)" --foreground 5 "$V" $command -)
    [ "$said" = "1 b'vkt2: -: will not read compressed data from a terminal\\n'" ] ||
        fail "$command - from a terminal: $said"
done
