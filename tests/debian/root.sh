# Sourced by the scripts that make a Debian root with mmdebstrap
# (test-debian, test-drivers): where the packages come from, and how a
# command runs so that nothing of it outlives it.

# archive_uri SUITE-SUFFIX: the first URI of this machine's APT sources that
# serves its own release with that suffix ("" or "-security").
archive_uri() {
    local host suffix=$1 file files=()
    host=$(. /etc/os-release && echo "$VERSION_CODENAME")
    for file in /etc/apt/sources.list /etc/apt/sources.list.d/*.list \
        /etc/apt/sources.list.d/*.sources; do
        [ ! -f "$file" ] || files+=("$file")
    done
    [ ${#files[@]} -gt 0 ] || return 0
    awk -v suite="$host$suffix" '
        # one-line style: deb [options] URI SUITE COMPONENT...
        $1 == "deb" { sub(/ \[[^]]*\]/, ""); if ($3 == suite) { print $2; exit } }
        # deb822 style: a stanza is URIs, Suites, ... up to a blank line
        /^URIs:/ { uri = $2 }
        /^Suites:/ { for (i = 2; i <= NF; i++) if ($i == suite && uri != "") { print uri; exit } }
        /^$/ { uri = "" }' "${files[@]}"
}

# contained COMMAND...: runs the command in a mount and a PID namespace of
# its own, so that its mounts and processes end with it. An interruption of
# the script ends it too: unshare holds off INT and TERM, but when it is
# killed its child, the namespace's first process, is killed with it, and
# with that every process of the namespace.
contained() {
    unshare --mount --propagation private --pid --fork --kill-child -- "$@" &
    local child=$! status=0
    trap 'kill -KILL "$child" 2>/dev/null' INT TERM HUP
    wait "$child" || status=$?
    # wait returns early when a signal arrives: then wait for the end.
    while kill -0 "$child" 2>/dev/null; do wait "$child" || status=$?; done
    trap - INT TERM HUP
    return "$status"
}

# bootstrap CODENAME DIR PACKAGES: a Debian root of that release in DIR,
# with the packages (comma-separated), from this machine's own archive.
bootstrap() {
    local codename=$1 dir=$2 packages=$3 mirror security
    mirror=$(archive_uri "")
    security=$(archive_uri -security)
    mirror=${mirror:-http://deb.debian.org/debian}
    local sources=("deb $mirror $codename main" "deb $mirror $codename-updates main")
    [ -z "$security" ] || sources+=("deb $security $codename-security main")
    echo "${0##*/}: making a Debian $codename root in $dir from $mirror"
    contained mmdebstrap --quiet --variant=apt --include="$packages" "$codename" "$dir" \
        "${sources[@]}"
}
