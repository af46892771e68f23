# bash completion for vkt2: commands, then each command's options, then paths; -o takes a folder
# and --names an encoding.
# The word is taken as the shell will read it: inside an open quote, after backslashes, or
# starting with ~; readline quotes the names offered to match.

# The word $1 with its quotes and backslashes removed, in _vkt2_word; never evaluated.
_vkt2_unquote() {
    local w=$1 out='' c quote='' backslash=\\
    local -i i
    for ((i = 0; i < ${#w}; i++)); do
        c=${w:i:1}
        if [ -n "$quote" ]; then
            if [ "$c" = "$quote" ]; then
                quote=''
            elif [ "$quote" = '"' ] && [ "$c" = "$backslash" ] && [[ ${w:i+1:1} == [\"\\\$\`] ]]; then
                out+=${w:i+1:1} && i+=1
            else
                out+=$c
            fi
        elif [ "$c" = "'" ] || [ "$c" = '"' ]; then
            quote=$c
        elif [ "$c" = "$backslash" ]; then
            out+=${w:i+1:1} && i+=1
        else
            out+=$c
        fi
    done
    _vkt2_word=$out
}

# Names that complete the word $2, as compgen's action $1 (-f or -d) gives them.
_vkt2_paths() {
    local _vkt2_word
    _vkt2_unquote "$2"
    if [[ $_vkt2_word == \~* && $_vkt2_word != */* ]]; then
        # ~ or ~user: the home folders, which compgen -f does not offer (readline adds the /).
        mapfile -t COMPREPLY < <(compgen -P '~' -u -- "${_vkt2_word#\~}")
        return
    fi
    mapfile -t COMPREPLY < <(compgen "$1" -- "$_vkt2_word")
}

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
    opts+=' --names -h --help -V --version'
    # bash splits --names=ENC at the =, into --names, = and ENC.
    local option=$prev
    if [ "$cur" = = ]; then
        cur=''
    elif [ "$prev" = = ]; then
        option=${COMP_WORDS[COMP_CWORD - 2]}
    fi
    if [ "$option" = --names ]; then
        mapfile -t COMPREPLY < <(compgen -W 'raw shift_jis cp932' -- "$cur")
        return
    fi
    case $prev in
    -o | --output)
        _vkt2_paths -d "$cur"
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
        _vkt2_paths -f "$cur"
    fi
}
complete -o filenames -F _vkt2 vkt2
