#!/usr/bin/env bash
# Builds the Debian package and checks it: its files and fields, then, as
# root, installs it and runs what it installed: quorvel-cli --version, its
# manual page and a snapshot of a small prefix. Where the system allows a
# private mount namespace, the install goes into a throw-away view of /usr and
# /var (overlays on a tmpfs), so that builds side by side on one machine
# neither see nor disturb each other's; elsewhere it is installed for real and
# removed afterwards. Not as root (or with QUORVEL_NO_INSTALL=1), the programs
# are run from the unpacked package instead.
# Prints "package: N passed, N failed" for the test command.
source "$(dirname "$0")/common.sh"

deb=${1:-$(./scripts/package.sh | tail -1)}
may_install=no
[ "$(id -u)" -eq 0 ] && [ -z "${QUORVEL_NO_INSTALL:-}" ] && may_install=yes
if [ "$may_install" = yes ] && [ -z "${QUORVEL_PACKAGE_VIEW:-}" ] && unshare -m true 2>/dev/null; then
    QUORVEL_PACKAGE_VIEW=$(mktemp -d /tmp/quorvel-package-view.XXXXXX)
    export QUORVEL_PACKAGE_VIEW
    rc=0
    unshare -m --propagation private "$REPO_ROOT/scripts/package_check.sh" "$deb" || rc=$?
    rmdir "$QUORVEL_PACKAGE_VIEW" 2>/dev/null || true
    exit "$rc"
fi
private_view=no
overlay() {
    mkdir -p "$QUORVEL_PACKAGE_VIEW/$1/upper" "$QUORVEL_PACKAGE_VIEW/$1/work" &&
        mount -t overlay overlay \
            -o "lowerdir=/$1,upperdir=$QUORVEL_PACKAGE_VIEW/$1/upper,workdir=$QUORVEL_PACKAGE_VIEW/$1/work" "/$1"
}
if [ -n "${QUORVEL_PACKAGE_VIEW:-}" ]; then
    # Both or neither: the package's files and dpkg's record of them go together.
    if mount -t tmpfs quorvel-package "$QUORVEL_PACKAGE_VIEW" 2>/dev/null && overlay var 2>/dev/null; then
        if overlay usr 2>/dev/null; then
            private_view=yes
        else
            umount /var
        fi
    fi
    [ "$private_view" = yes ] || log "no private view of /usr and /var here: the package is installed for real"
fi
version=$(sed -nE 's/.*kCurrentVersion = "([0-9.]+)".*/\1/p' core/app_state.h)
work=$(mktemp -d /tmp/quorvel-package.XXXXXX)
installed_here=no
cleanup() {
    if [ "$installed_here" = yes ] && [ "$private_view" = no ]; then dpkg -r quorvel >/dev/null 2>&1 || true; fi
    rm -rf "$work"
}
trap cleanup EXIT

passed=0
failed=0
check() {  # check "what" command...
    local what=$1
    shift
    if "$@" >"$work/check.out" 2>&1; then
        log "as it should: $what"
        passed=$((passed + 1))
    else
        log "WRONG: $what"
        sed 's/^/    /' "$work/check.out" >&2
        failed=$((failed + 1))
    fi
}
has() { grep -qE -- "$1" "$2" || { echo "no match for $1 in $2:"; cat "$2"; return 1; }; }

check "the package is named quorvel_${version}_amd64.deb" test "$(basename "$deb")" = "quorvel_${version}_amd64.deb"
dpkg-deb -I "$deb" >"$work/info" || true
dpkg-deb -c "$deb" | awk '{print $NF}' >"$work/files" || true
check "its fields: package, version, architecture" has "^ Package: quorvel$" "$work/info"
check "version $version" has "^ Version: $version$" "$work/info"
check "it depends on the C library it was linked with" has "^ Depends: .*libc6" "$work/info"
check "it recommends wine" has "^ Recommends: wine$" "$work/info"
for f in ./usr/bin/quorvel-cli ./usr/bin/quorvel ./usr/lib/quorvel/quorvel.exe ./usr/lib/quorvel/quorvel-cli.exe \
    ./usr/share/man/man1/quorvel-cli.1.gz ./usr/share/bash-completion/completions/quorvel-cli; do
    check "it holds $f" has "^${f//./\\.}$" "$work/files"
done

dpkg-deb -x "$deb" "$work/root"
cli=$work/root/usr/bin/quorvel-cli
man_page=$work/root/usr/share/man/man1/quorvel-cli.1.gz
if [ "$may_install" = yes ]; then
    dpkg-query -W -f='${Status}' quorvel 2>/dev/null | grep -q 'install ok installed' || installed_here=yes
    [ "$private_view" = yes ] && echo "package: installed in a private view of /usr and /var"
    # Slim Debian images tell dpkg to leave out every manual page: this one
    # is let in, since the page is what is checked.
    check "dpkg -i installs it" dpkg -i --path-include=/usr/share/man/man1/quorvel-cli.1.gz "$deb"
    cli=/usr/bin/quorvel-cli
    man_page=$(man -w quorvel-cli 2>/dev/null || echo /usr/share/man/man1/quorvel-cli.1.gz)
    if command -v man >/dev/null; then
        check "man -w quorvel-cli finds the page" test "$(man -w quorvel-cli)" = /usr/share/man/man1/quorvel-cli.1.gz
    else
        check "the manual page is installed (no man-db to ask)" test -f "$man_page"
    fi
    check "the launcher is installed and runs" /usr/bin/quorvel --help
else
    echo "package: not installed (not root, or QUORVEL_NO_INSTALL is set); the unpacked programs are run instead"
fi

check "quorvel-cli --version says $version" test "$("$cli" --version)" = "quorvel-cli $version"
# The page is the help: each command's first help line is in it.
if command -v man >/dev/null; then
    MANWIDTH=120 man -l "$man_page" 2>/dev/null | col -b >"$work/man.txt" || true
else
    zcat "$man_page" >"$work/man.txt"
fi
for command in snapshot diff watch; do
    first=$("$cli" help "$command" | head -1)
    check "the manual page holds: $first" grep -qF -- "$first" "$work/man.txt"
done
check "the manual page names the program" has "quorvel-cli - what an installation changed" "$work/man.txt"
# The completion offers each option that a command's help names.
completion=$work/root/usr/share/bash-completion/completions/quorvel-cli
for command in snapshot diff watch; do
    offered=$(grep -E "^ +$command\) options=" "$completion")
    missing=""
    for option in $("$cli" help "$command" | grep -oE -- '(^| |,)--?[a-z]+' | tr -d ' ,' | sort -u); do
        [[ " ${offered#*options=\"} " == *" $option "* ]] || missing="$missing $option"
    done
    check "bash completion offers every option of $command${missing:+ (missing:$missing)}" test -z "$missing"
done
check "bash completion is valid bash" bash -n "$completion"

# A small prefix: the registry files and drive C: with a few files.
prefix=$work/prefix
mkdir -p "$prefix/drive_c/Program Files/App" "$prefix/dosdevices"
ln -s ../drive_c "$prefix/dosdevices/c:"
printf 'WINE REGISTRY Version 2\n;; All keys relative to \\\\Machine\n\n#arch=win64\n\n[Software\\\\App] 1700000000\n"Version"="1.0"\n' >"$prefix/system.reg"
printf 'WINE REGISTRY Version 2\n;; All keys relative to \\\\User\\\\S-1-5-21-0-0-0-1000\n\n#arch=win64\n' >"$prefix/user.reg"
printf 'data' >"$prefix/drive_c/Program Files/App/app.exe"
printf 'more' >"$prefix/drive_c/readme.txt"
rc=0
"$cli" snapshot --prefix "$prefix" --reg 'HKLM\Software' --dir 'C:\' -o "$work/x.qvs" 2>"$work/snapshot.err" || rc=$?
check "the installed quorvel-cli takes a snapshot (exit $rc)" test "$rc" -eq 0 -a -s "$work/x.qvs"
check "and sums it up in one line" has "^snapshot: HKEY_LOCAL_MACHINE.Software and C:.* 2 files, 2 folders in .* written to $work/x.qvs$" \
    "$work/snapshot.err"
rc=0
"$cli" diff "$work/x.qvs" "$work/x.qvs" --format csv -o - >"$work/diff.csv" || rc=$?
check "a diff of it with itself finds nothing (exit $rc)" test "$rc" -eq 0

echo "package: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
