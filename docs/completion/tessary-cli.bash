# Bash completion of tessary-cli: its options, file names for the damaged
# archives and for the file named by -o/--output, folders for -d/--directory.
_tessary_cli()
{
    local cur prev words cword split
    _init_completion -s || return

    case $prev in
        -o | --output)
            _filedir
            return
            ;;
        -d | --directory)
            _filedir -d
            return
            ;;
    esac
    $split && return

    if [[ $cur == -* ]]; then
        COMPREPLY=($(compgen -W '-o --output= -d --directory= -f --force -l --list -j --json
            -q --quiet -v --verbose --verify --drop-damaged --salvage -h --help -V --version --' -- "$cur"))
        [[ ${COMPREPLY-} == *= ]] && compopt -o nospace
        return
    fi
    # Damaged archives are often not named *.zip (*.part, *.crdownload, no
    # extension at all): every file is offered.
    _filedir
} &&
    complete -F _tessary_cli tessary-cli
