# fish completion for quorvel-cli. Like the bash completion, it reads the commands, their words and
# options and the global options from the tool's own help, so that it knows what the installed tool
# knows; where a file is wanted it offers files.

# The options of the help (of the tool, or of one command) that take a value ("-o FILE.phb").
function __quorvel_cli_valued_options
    command -q $argv[1]; or return
    $argv --help 2>/dev/null | string replace -rf '^  (--?[a-z][a-z-]*)(,[^ ]*)* [A-Z@].*' '$1'
end

# The command on the line: the first word that is no option nor an option's value; empty before one.
function __quorvel_cli_command
    set -l words (commandline -opc)
    set -l valued (__quorvel_cli_valued_options $words[1])
    set -l previous ''
    for word in $words[2..-1]
        if not string match -q -- '-*' $word; and not contains -- $previous $valued
            echo $word
            return
        end
        set previous $word
    end
end

# Whether the word being completed is the value of an option: a file, a port or a serial number.
function __quorvel_cli_wants_value
    set -l words (commandline -opc)
    set -l command (__quorvel_cli_command)
    contains -- $words[-1] (__quorvel_cli_valued_options $words[1]) (__quorvel_cli_valued_options $words[1] $command)
end

function __quorvel_cli_candidates
    set -l tool (commandline -opc)[1]
    command -q $tool; or return
    __quorvel_cli_wants_value; and return
    $tool --help 2>/dev/null | sed -n '/^global options:/,/^$/s/^  \(--[a-z][a-z-]*\).*/\1/p' | sort -u
    set -l command (__quorvel_cli_command)
    if test -z "$command"
        $tool --help 2>/dev/null | sed -n '/^commands:/,/^$/s/^  \([a-z][a-z-]*\).*/\1/p' | sort -u
        return
    end
    set -l help ($tool $command --help 2>/dev/null)
    printf '%s\n' $help | string replace -rf "^usage: quorvel-cli $command ([a-z][a-z-]*).*" '$1'
    printf '%s\n' $help | string replace -rf '^  (--?[a-z][a-z-]*).*' '$1'
end

complete -c quorvel-cli -f -a '(__quorvel_cli_candidates | sort -u)'
# Files where a file may stand: an option's value, and a command's own arguments.
complete -c quorvel-cli -n '__quorvel_cli_wants_value; or test -n "$(__quorvel_cli_command)"' -F
