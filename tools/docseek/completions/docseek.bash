# SPDX-License-Identifier: MIT
# bash completion for docseek

_docseek() {
    local cur prev words cword
    if declare -F _init_completion >/dev/null 2>&1; then
        _init_completion -n = || return
    else
        COMPREPLY=()
        cur=${COMP_WORDS[COMP_CWORD]}
        prev=${COMP_WORDS[COMP_CWORD-1]}
        words=("${COMP_WORDS[@]}")
        cword=$COMP_CWORD
    fi

    local types="pdf doc xls ppt rtf sogou"
    local formats="table json csv tsv raw"
    local opts="--types -t --count -n --format -f --json --quiet -q --no-window --proxy --download --max-size --plugin --help -h --version"

    case $prev in
        --types|-t)
            # Complete the item after the last comma.
            local done_part=""
            [[ $cur == *,* ]] && done_part=${cur%,*},
            COMPREPLY=($(compgen -P "$done_part" -W "$types" -- "${cur##*,}"))
            compopt -o nospace 2>/dev/null
            return ;;
        --count|-n)
            COMPREPLY=($(compgen -W "10 20 30 50 100" -- "$cur"))
            return ;;
        --format|-f)
            COMPREPLY=($(compgen -W "$formats" -- "$cur"))
            return ;;
        --plugin)
            COMPREPLY=($(compgen -f -- "$cur"))
            return ;;
        --download)
            COMPREPLY=($(compgen -d -- "$cur"))
            return ;;
        --max-size)
            COMPREPLY=($(compgen -W "10M 100M 1G" -- "$cur"))
            return ;;
        --proxy)
            COMPREPLY=($(compgen -W "http:// https:// socks5:// socks5h:// socks4://" -- "$cur"))
            compopt -o nospace 2>/dev/null
            return ;;
    esac

    case $cur in
        --format=*)
            COMPREPLY=($(compgen -W "$formats" -- "${cur#--format=}"))
            return ;;
        --types=*)
            COMPREPLY=($(compgen -W "$types" -- "${cur#--types=}"))
            return ;;
        -*)
            COMPREPLY=($(compgen -W "$opts" -- "$cur"))
            return ;;
    esac

    # The first word that is not an option or an option's value is the command.
    local i command=""
    for ((i = 1; i < cword; i++)); do
        case ${words[i]} in
            --types|-t|--count|-n|--format|-f|--plugin|--proxy|--download|--max-size) ((i++)) ;;
            -*) ;;
            *) command=${words[i]}; break ;;
        esac
    done
    if [[ -z $command ]]; then
        COMPREPLY=($(compgen -W "search types counts help" -- "$cur"))
    fi
}
complete -F _docseek docseek
