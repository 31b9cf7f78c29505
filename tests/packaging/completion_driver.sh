# Sourced by the packaging tests: `complete_line LINE` runs the completion
# function registered for ressona-measure on LINE, with the cursor at its end,
# and prints the candidates one a line. The words are split as bash splits
# them for completion: at blanks, and with each colon or equals sign a word
# of its own.
complete_line() {
    local line=$1
    local words=() token piece
    for token in $line; do
        while [[ $token =~ ^([^:=]*)([:=])(.*)$ ]]; do
            [[ -n ${BASH_REMATCH[1]} ]] && words+=("${BASH_REMATCH[1]}")
            words+=("${BASH_REMATCH[2]}")
            token=${BASH_REMATCH[3]}
        done
        [[ -n $token ]] && words+=("$token")
    done
    [[ $line == *' ' ]] && words+=("")
    local function_name
    function_name=$(complete -p ressona-measure | sed -n 's/.*-F \([^ ]*\) .*/\1/p')
    COMP_WORDS=("${words[@]}")
    COMP_CWORD=$((${#words[@]} - 1))
    COMP_LINE=$line
    COMP_POINT=${#line}
    COMPREPLY=()
    "$function_name" ressona-measure "${words[COMP_CWORD]}" "${words[COMP_CWORD - 1]}"
    ((${#COMPREPLY[@]} == 0)) || printf '%s\n' "${COMPREPLY[@]}"
}
