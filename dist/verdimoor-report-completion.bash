# SPDX-License-Identifier: Apache-2.0
# Bash completion for verdimoor-report: its options, the values some of them
# take, files for its outputs and folders for its arguments. Installed as
# /usr/share/bash-completion/completions/verdimoor-report.

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
            compopt -o filenames 2>/dev/null
            COMPREPLY=($(compgen -f -- "$current"))
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
        compopt -o filenames 2>/dev/null
        COMPREPLY=($(compgen -d -- "$current"))
    fi
}
complete -F _verdimoor_report verdimoor-report
