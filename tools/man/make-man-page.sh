#!/bin/sh
# Writes the vornix man page with help2man from the program's own help: the program's
# page first, then every command's help (and every gen kind's) as a section of its own,
# so the page says what --help says and cannot fall behind it.
#   make-man-page.sh PROGRAM OUTPUT.1
set -eu
vornix=$1
out=$2
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT

# The commands a help page lists under "Subcommands:".
commands() {
    # shellcheck disable=SC2086
    "$vornix" $1 --help | sed -n '/^Subcommands:/,$s/^  \([a-z][a-z0-9-]*\) .*/\1/p'
}

# A command's help as a section: its headings ("Options:", "Detection:") would start
# sections of their own in help2man, so they become indented lines of the section.
section() {
    printf '\nvornix %s:\n' "$1"
    # shellcheck disable=SC2086
    # help2man joins lines into a paragraph up to a blank line, so each heading, the
    # description and the usage line stand alone between blank lines.
    "$vornix" $1 --help | sed -e 's/^\([A-Za-z][^:]*\):$/\n  \1\n/' -e 's/^Usage: \(.*\)$/  Usage: \1\n/' -e '1s/^\(.*\)$/  \1\n/'
}

{
    "$vornix" --help
    for command in $(commands ""); do
        section "$command"
        for kind in $(commands "$command"); do section "$command $kind"; done
    done
} >"$dir/help.txt"

# help2man runs the program it is given; this one answers --help with the text above.
cat >"$dir/vornix" <<WRAPPER
#!/bin/sh
case "\$1" in --version) exec "$vornix" --version ;; *) cat "$dir/help.txt" ;; esac
WRAPPER
chmod +x "$dir/vornix"
help2man --no-info --section=1 --name="decode telephone-line signals and write test recordings" \
    --output="$out" "$dir/vornix"
