# Bash completion for xpack. The commands and their options are the
# program's own: read from its usage and from COMMAND --help, so that they
# are never listed twice. Operands complete as file names.
_xpack()
{
    local program=${COMP_WORDS[0]} word=${COMP_WORDS[COMP_CWORD]} previous=${COMP_WORDS[COMP_CWORD - 1]}
    COMPREPLY=()
    if [ "$COMP_CWORD" -eq 1 ]; then
        local commands
        commands=$("$program" --help 2>/dev/null |
            sed -n 's/^\(usage:\)\{0,1\} *xpack \([a-z][a-z]*\) .*/\2/p' | sort -u)
        COMPREPLY=($(compgen -W "$commands --help --version" -- "$word"))
        return
    fi
    local i
    for ((i = 1; i < COMP_CWORD; i++)); do
        [ "${COMP_WORDS[i]}" = -- ] && return  # only operands follow
    done
    case $previous in
        -o | --output | --stub) return ;;  # a file name
    esac
    if [ "${word:0:1}" = - ]; then
        local options
        options=$({
            "$program" "${COMP_WORDS[1]}" --help 2>/dev/null | grep -o -- '--[a-z][a-z]*'
            echo --help
        } | sort -u)
        COMPREPLY=($(compgen -W "$options" -- "$word"))
    fi
}
complete -o default -F _xpack xpack
