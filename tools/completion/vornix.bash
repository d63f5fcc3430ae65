# bash completion for vornix: its commands, the kinds of gen, every option and the values
# an option lists. All of it is read from the program's own --help at the time of the
# completion, so it never falls behind the program.

# The commands a help page lists under "Subcommands:".
_vornix_commands() {
    printf '%s\n' "$1" | sed -n '/^Subcommands:/,$s/^  \([a-z][a-z0-9-]*\) .*/\1/p'
}

# The help line of an option (its names, type, default and description).
_vornix_option_line() {
    printf '%s\n' "$1" | grep -E -m1 -- "^ +(-[-A-Za-z0-9]+,)*$2( |,|\$)"
}

_vornix() {
    local cur=${COMP_WORDS[COMP_CWORD]}
    local prev=${COMP_WORDS[COMP_CWORD - 1]}
    local program=${COMP_WORDS[0]}
    local help word i line values
    local -a path=()
    help=$("$program" --help 2>/dev/null) || return 0

    # The command and kind given so far choose the help page to read.
    for ((i = 1; i < COMP_CWORD; i++)); do
        word=${COMP_WORDS[i]}
        [[ $word == -* ]] && continue
        if _vornix_commands "$help" | grep -qxF -- "$word"; then
            path+=("$word")
            help=$("$program" "${path[@]}" --help 2>/dev/null) || return 0
        fi
    done

    # The value of an option: one of those it lists, a file name, or nothing to offer.
    if [[ $prev == -* ]]; then
        line=$(_vornix_option_line "$help" "$prev")
        if [[ $line =~ ^\ +[-A-Za-z0-9,]+\ +[A-Z]+([\ :=]|$) ]]; then
            if [[ $line =~ :\{([^}]*)\} ]]; then
                values=${BASH_REMATCH[1]//,/ }
                mapfile -t COMPREPLY < <(compgen -W "$values" -- "$cur")
            elif [[ ${line,,} == *file* ]]; then
                compopt -o filenames 2>/dev/null
                mapfile -t COMPREPLY < <(compgen -f -- "$cur")
            else
                COMPREPLY=()
            fi
            return 0
        fi
    fi

    if [[ $cur == -* ]]; then
        values=$(printf '%s\n' "$help" | grep -oE '^ +(-[-A-Za-z0-9]+,)*-[-A-Za-z0-9]+' | tr ',' ' ')
        mapfile -t COMPREPLY < <(compgen -W "$values" -- "$cur")
        return 0
    fi
    values=$(_vornix_commands "$help")
    if [[ -n $values ]]; then
        mapfile -t COMPREPLY < <(compgen -W "$values" -- "$cur")
    else
        compopt -o filenames 2>/dev/null
        mapfile -t COMPREPLY < <(compgen -f -- "$cur")
    fi
    return 0
}
complete -F _vornix vornix
