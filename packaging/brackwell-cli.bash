# bash completion for brackwell-cli; the options come from its own --help.
_brackwell_cli()
{
    local cur prev words cword split
    _init_completion -s || return

    case $prev in
        --format)
            COMPREPLY=($(compgen -W 'ed2k fs html hashes json magnet' -- "$cur"))
            return
            ;;
        --layout)
            COMPREPLY=($(compgen -W 'ascii html table' -- "$cur"))
            return
            ;;
        --columns)
            # A comma-separated list: complete the item after the last comma.
            local done=${cur%"${cur##*,}"}
            COMPREPLY=($(compgen -P "$done" -W 'name size ed2k fs magnet' -- "${cur##*,}"))
            return
            ;;
        --ed2k-anchor | --fs-anchor | --magnet-anchor)
            COMPREPLY=($(compgen -W 'url' -- "$cur"))
            return
            ;;
        --export)
            _filedir
            return
            ;;
        --dir)
            _filedir -d
            return
            ;;
        -j | --jobs | --prefix | --suffix | --replace-spaces | --title | --separator)
            return
            ;;
    esac
    $split && return

    if [[ $cur == -* ]]; then
        COMPREPLY=($(compgen -W '$(_parse_help "$1")' -- "$cur"))
        [[ ${COMPREPLY-} == *= ]] && compopt -o nospace
        return
    fi
    _filedir
}
complete -F _brackwell_cli brackwell-cli
