# bash completion for commonutil: commands, their words and options; files elsewhere.
_commonutil() {
    local cur=${COMP_WORDS[COMP_CWORD]}
    local first=${COMP_WORDS[1]} second=${COMP_WORDS[2]}
    local words=""
    case $COMP_CWORD in
        1) words="contentinfo plist region fileinfo log reg help --help --version" ;;
        2)
            case $first in
                contentinfo) words="scan list" ;;
                plist) words="show get set delete" ;;
                region) words="show" ;;
                log) words="on off path --help" ;;
                reg) words="get set delete list import export --help" ;;
                help) words="contentinfo plist region fileinfo log reg" ;;
            esac
            ;;
        *)
            case "$first $second" in
                "log on") [[ $COMP_CWORD -eq 3 ]] && words="on date time thread source line function" ;;
                "reg get" | "reg set" | "reg delete" | "reg list" | "reg export")
                    [[ $COMP_CWORD -eq 3 ]] && words="HKCU\\\\ HKLM\\\\ HKCR\\\\ HKU\\\\"
                    [[ $second == set && $COMP_CWORD -eq 5 ]] && words="REG_SZ REG_DWORD REG_QWORD REG_BINARY"
                    ;;
                "plist set")
                    [[ $COMP_CWORD -eq 5 ]] && words="bool integer real string stringpsw date array dict"
                    ;;
                "plist show" | "plist get") [[ $cur == -* ]] && words="--json --help" ;;
                "contentinfo scan") [[ $cur == -* ]] && words="-o --help" ;;
            esac
            ;;
    esac
    if [[ -n $words ]]; then
        COMPREPLY=($(compgen -W "$words" -- "$cur"))
    else
        COMPREPLY=($(compgen -f -- "$cur"))
    fi
}
complete -o filenames -F _commonutil commonutil
