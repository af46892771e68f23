# bash completion for vkt2: commands, then each command's options, then paths; -o takes a folder.
_vkt2() {
    local cur prev cmd opts
    cur=${COMP_WORDS[COMP_CWORD]}
    prev=${COMP_WORDS[COMP_CWORD - 1]}
    if [ "$COMP_CWORD" -eq 1 ]; then
        mapfile -t COMPREPLY < <(compgen -W 'x c t l cat undo scan -h --help -V --version' -- "$cur")
        return
    fi
    cmd=${COMP_WORDS[1]}
    case $cmd in
    x) opts='-o --output -f --force -j --jobs -q --quiet -v --verbose --json --all --zero-fill --archives' ;;
    c) opts='-o --output -f --force -j --jobs -q --quiet -v --verbose --json --all' ;;
    t | l) opts='-j --jobs -q --quiet -v --verbose --json --archives' ;;
    cat) opts='-q --quiet -v --verbose --zero-fill --archives' ;;
    undo) opts='-n --dry-run -j --jobs -q --quiet -v --verbose --json' ;;
    scan) opts='-o --output -f --force -q --quiet -v --verbose --json' ;;
    *) return ;;
    esac
    opts+=' -h --help -V --version'
    case $prev in
    -o | --output)
        mapfile -t COMPREPLY < <(compgen -d -- "$cur")
        return
        ;;
    -j | --jobs)
        mapfile -t COMPREPLY < <(compgen -W '1 2 4 8 16' -- "$cur")
        return
        ;;
    esac
    if [[ $cur == -* ]]; then
        mapfile -t COMPREPLY < <(compgen -W "$opts" -- "$cur")
    else
        mapfile -t COMPREPLY < <(compgen -f -- "$cur")
    fi
}
complete -o filenames -F _vkt2 vkt2
