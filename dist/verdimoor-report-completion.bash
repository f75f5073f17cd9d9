# SPDX-License-Identifier: Apache-2.0
# Bash completion for verdimoor-report: its options, the values some of them
# take, files for its outputs and folders for its arguments. Installed as
# /usr/share/bash-completion/completions/verdimoor-report.

# The files, or with -d the folders, whose names begin with the word typed, as
# bash's own completion finds them: the word read as the shell reads it,
# without its quotes and backslashes, and each name matched whole, so that it
# keeps its blanks, quotes and line ends. Bash quotes them again as it puts
# them in the line (-o filenames).
_verdimoor_report_names()
{
    local word=$1 kind=$2 typed= quote= c name i
    for ((i = 0; i < ${#word}; i++)); do
        c=${word:i:1}
        if [[ $quote == "'" ]]; then
            [[ $c == "'" ]] && quote= || typed+=$c
        elif [[ $c == '\' && (-z $quote || ${word:i+1:1} == [\"\\\$\`]) ]]; then
            typed+=${word:i+1:1}
            ((i++))
        elif [[ $c == '"' ]]; then
            [[ $quote ]] && quote= || quote='"'
        elif [[ $c == "'" && -z $quote ]]; then
            quote="'"
        else
            typed+=$c
        fi
    done
    [[ $typed == '~/'* ]] && typed=$HOME/${typed#'~/'}
    compopt -o filenames 2>/dev/null
    COMPREPLY=()
    # Hidden names too, as bash shows them; the caller's glob settings kept.
    local settings
    settings=$(shopt -p nullglob dotglob failglob nocaseglob)
    shopt -s nullglob dotglob
    shopt -u failglob nocaseglob
    for name in "$typed"*; do
        [[ $kind == -d && ! -d $name ]] || COMPREPLY+=("$name")
    done
    eval "$settings"
}

_verdimoor_report()
{
    local current=${COMP_WORDS[COMP_CWORD]}
    local previous=${COMP_WORDS[COMP_CWORD - 1]}
    local options="--help --version --table --json --csv --openmetrics --machine --svg --html --top --last --fleet
        --output --since --until --schedule --running-within --now"
    case $previous in
        --schedule)
            COMPREPLY=($(compgen -W "none" -- "$current"))
            return
            ;;
        --svg | --html | --output)
            _verdimoor_report_names "$current" -f
            return
            ;;
        --machine | --since | --until | --now | --running-within | --top | --last)
            COMPREPLY=()
            return
            ;;
    esac
    if [[ $current == -* ]]; then
        COMPREPLY=($(compgen -W "$options" -- "$current"))
    else
        _verdimoor_report_names "$current" -d
    fi
}
complete -F _verdimoor_report verdimoor-report
