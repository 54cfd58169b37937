# Bash completion for diskward: the options (the console's own as its
# --help lists them), the media names after -z, the operating-system words
# after -o, folders after -j and -i, drives, images and folders after -d,
# files after --iso,
# and after -n the products of the product file named by the path and the
# -o word already on the line.

_diskward_products() {
    local dir="." os="" i word
    for ((i = 1; i < COMP_CWORD; i++)); do
        word="${COMP_WORDS[i]}"
        case "$word" in
            -o|-O|/o|/O) os="${COMP_WORDS[i + 1]}"; ((i++)) ;;
            -[djisxzDJISXZ]|/[djisxzDJISXZ]) ((i++)) ;;
            -[nN]|/[nN])
                while ((i + 1 < COMP_CWORD)) && [[ "${COMP_WORDS[i + 1]}" != -* ]]; do ((i++)); done ;;
            -*|/?) ;;
            *) dir="$word" ;;
        esac
    done
    [ -n "$os" ] || return
    dir="${dir/#\~/$HOME}"
    local file
    for file in "$dir"/*; do
        local base="${file##*/}"
        if [ "${base,,}" = "${os,,}.prd" ] && [ -f "$file" ]; then
            # A product row starts with its number, then its name.
            awk '$1 ~ /^[0-9]+$/ { print $2 }' "$file" 2>/dev/null
            return
        fi
    done
}

_diskward() {
    local cur="${COMP_WORDS[COMP_CWORD]}"
    local prev=""
    [ "$COMP_CWORD" -gt 0 ] && prev="${COMP_WORDS[COMP_CWORD - 1]}"
    COMPREPLY=()
    case "$prev" in
        -z|-Z|/z|/Z)
            COMPREPLY=($(compgen -W "3.5HD 3.5LD 3.5JHD 3.5UD 5.25HD 5.25LD 5.25JHD" -- "$cur"))
            return ;;
        -o|-O|/o|/O)
            COMPREPLY=($(compgen -W "dos netware os2 nt windows win95" -- "$cur"))
            return ;;
        -j|-J|/j|/J|-i|-I|/i|/I)
            compopt -o filenames 2>/dev/null
            COMPREPLY=($(compgen -d -- "$cur"))
            return ;;
        -d|-D|/d|/D)
            compopt -o filenames 2>/dev/null
            COMPREPLY=($(compgen -W "A: B:" -- "$cur") $(compgen -f -- "$cur"))
            return ;;
        -s|-S|/s|/S|-x|-X|/x|/X|--iso-label)
            return ;;
        --iso)
            compopt -o filenames 2>/dev/null
            COMPREPLY=($(compgen -f -- "$cur"))
            return ;;
    esac
    # After -n, and after each product name that follows it (replication
    # and an image take several), the products of the product file.
    local i=$((COMP_CWORD - 1))
    while [ "$i" -gt 0 ] && [[ "${COMP_WORDS[i]}" != -* && "${COMP_WORDS[i]}" != /? ]]; do
        ((i--))
    done
    if [[ "$cur" != -* && "$i" -gt 0 && "${COMP_WORDS[i]}" =~ ^[-/][nN]$ ]] &&
       { [ "$i" -eq $((COMP_CWORD - 1)) ] || [[ " ${COMP_WORDS[*]} " =~ \ ([-/][jJ]|--iso)\  ]]; }; then
        COMPREPLY=($(compgen -W "$(_diskward_products)" -- "$cur"))
        return
    fi
    if [[ "$cur" == --* ]]; then
        # The console's own options, as its --help lists them.
        local options
        options="$("${COMP_WORDS[0]}" --help 2>/dev/null | sed -n 's/^ *\(--[a-z-]*\).*/\1/p')"
        COMPREPLY=($(compgen -W "$options" -- "$cur"))
        return
    fi
    if [[ "$cur" == -* ]]; then
        COMPREPLY=($(compgen -W "-h -b -o -f -r -n -a -w -d -z -s -q -x -c -i -j" -- "$cur"))
        return
    fi
    compopt -o filenames 2>/dev/null
    COMPREPLY=($(compgen -d -- "$cur"))
}

complete -F _diskward diskward
