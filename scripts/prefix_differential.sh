#!/usr/bin/env bash
# The native quorvel-cli and quorvel-cli.exe under Wine read the same prefix
# and must see the same thing: a key with every value type, escaped and
# Unicode names, the default value and a deep subtree, files with Unicode
# names and known dates. Each pair of snapshots must diff with exit code 0.
# Then the demo's sample installer runs once under the native
# `quorvel-cli watch --prefix` and once under quorvel-cli.exe watch in Wine,
# from the same state: the six lists must be the same.
# Prints "prefix differential: N passed, N failed" for the test command.
source "$(dirname "$0")/common.sh"

NATIVE=${1:-build/native/quorvel-cli}
WINDOWS=${2:-build/windows/quorvel-cli.exe}
INSTALLER=$(dirname "$WINDOWS")/sample_installer.exe
setup_wine
work=$(mktemp -d /tmp/quorvel-differential.XXXXXX)
trap 'rm -rf "$work"' EXIT

# The key, written by Wine's own regedit from a UTF-16 file as Windows writes them.
key='HKEY_CURRENT_USER\Software\Quorvel Differential'
deep="$key"
for level in 1 2 3 4 5 6 7 8 9 10 11 12; do deep="$deep\\Level $level"; done
{
    printf 'Windows Registry Editor Version 5.00\r\n\r\n'
    printf '[-%s]\r\n\r\n[%s]\r\n' "$key" "$key"
    printf '@="the default value"\r\n'
    printf '"Plain"="text"\r\n'
    printf '"Quote \\"and\\" backslash \\\\"="C:\\\\Program Files\\\\\\"x\\""\r\n'
    printf '"Unicode \xc3\xa9\xe6\x97\xa5\xe6\x9c\xac"="\xce\xb1\xce\xb2\xce\xb3 \xf0\x9f\x98\x80"\r\n'
    printf '"Brackets [x]"="semi;colon=equals"\r\n'
    printf '"Expandable"=hex(2):25,00,53,00,79,00,73,00,74,00,65,00,6d,00,52,00,6f,00,6f,00,74,00,25,00,5c,00,78,00,00,00\r\n'
    printf '"Undefined"=hex(2):25,00,4e,00,4f,00,50,00,45,00,25,00,00,00\r\n'
    printf '"Multi"=hex(7):61,00,00,00,00,00,62,00,00,00,00,00\r\n'
    printf '"Dword"=dword:deadbeef\r\n'
    printf '"Qword"=hex(b):01,02,03,04,05,06,07,08\r\n'
    printf '"Binary"=hex:00,01,02,fe,ff\r\n'
    printf '"Empty binary"=hex:\r\n'
    printf '"None"=hex(0):01,02\r\n'
    printf '"Odd type"=hex(1234):0a,0b\r\n'
    printf '"Unterminated string"=hex(1):41,00,42,00\r\n'
    printf '"Short dword"=hex(4):01,02\r\n'
    printf '\r\n[%s]\r\n"Deepest"="bottom"\r\n' "$deep"
    printf '\r\n[%s\\Empty subkey]\r\n' "$key"
} | iconv -f UTF-8 -t UTF-16LE | { printf '\xff\xfe'; cat; } >"$work/values.reg"
wine regedit /s "$(winpath "$work/values.reg")" >/dev/null 2>&1

# Files with Unicode names and known dates, links to a folder and a file, and
# a link to nothing.
files="$WINEPREFIX/drive_c/quorvel-differential"
deeper=$'d\xc3\xa9eper'
unicode=$'caf\xc3\xa9 \xe6\x97\xa5\xe6\x9c\xac.txt'
rm -rf "$files"
mkdir -p "$files/sub folder/$deeper"
printf 'a' >"$files/plain.txt"
printf 'bb' >"$files/$unicode"
printf 'ccc' >"$files/sub folder/$deeper/old.bin"
printf '' >"$files/.dotfile"
touch -d '2001-02-03 04:05:06' "$files/plain.txt"
touch -d '2020-12-31 23:59:59' "$files/sub folder/$deeper/old.bin"
touch -d '2024-07-01 00:00:00' "$files/$unicode"
ln -s "$files/sub folder" "$files/link to folder"
ln -s "$files/plain.txt" "$files/link to file"
ln -s "$files/nowhere" "$files/dangling link"

# The registry files are what wineserver leaves when it ends.
wineserver -k 2>/dev/null || true
wineserver -w

places=(
    "--reg $key --dir C:\\quorvel-differential"
    "--reg HKEY_CLASSES_ROOT\\.ini"
    "--reg HKEY_CURRENT_CONFIG"
    "--reg HKEY_USERS\\.Default\\Software"
    "--reg HKEY_LOCAL_MACHINE\\Software\\Wow6432Node\\Classes\\CLSID"
    "--reg HKEY_LOCAL_MACHINE\\System\\CurrentControlSet\\Control\\Session Manager"
)
passed=0
failed=0
n=0
# The window's switches, deletions off: keys that Wine keeps only in memory
# (HKEY_CURRENT_CONFIG's values) are in no file, so a native snapshot lacks
# them; what both read must still be the same.
printf '1,0,1,1,0,1\r\n' >"$work/Settings.dat"
for place in "${places[@]}"; do
    n=$((n + 1))
    # Names with blanks are kept whole: the option's value is all after it.
    opt=${place%% *}
    value=${place#* }
    if [[ "$place" == --reg*--dir* ]]; then
        args=(--reg "${key}" --dir 'C:\quorvel-differential')
    else
        args=("$opt" "$value")
    fi
    "$NATIVE" snapshot --prefix "$WINEPREFIX" "${args[@]}" -o "$work/native$n.snap" --settings "$work" || true
    taskset -c 0 wine "$WINDOWS" snapshot "${args[@]}" -o "$(winpath "$work/windows$n.snap")" \
        --settings "$(winpath "$work")" >/dev/null 2>&1 || true
    # Wine's own start may write to the registry: the next native read waits for the files.
    wineserver -k 2>/dev/null || true
    wineserver -w
    if "$NATIVE" diff "$work/windows$n.snap" "$work/native$n.snap" --settings "$work" >"$work/diff$n.txt" 2>&1; then
        log "same: ${args[*]}"
        passed=$((passed + 1))
    else
        log "DIFFERENT: ${args[*]}"
        cat "$work/diff$n.txt" >&2
        failed=$((failed + 1))
    fi
done
wineserver -k 2>/dev/null || true
wineserver -w

# The installer's state before: a version to edit, a value to delete, files to
# delete and to modify, each time the same.
demo_key='HKEY_CURRENT_USER\Software\QuorvelDemo'
demo_dir="$WINEPREFIX/drive_c/quorvel-watch"
reset_demo() {
    {
        printf 'Windows Registry Editor Version 5.00\r\n\r\n[-%s]\r\n\r\n[%s]\r\n' "$demo_key" "$demo_key"
        printf '"Version"=dword:00000001\r\n"Obsolete"="left over from 0.9"\r\n'
    } >"$work/demo.reg"
    wine regedit /s "$(winpath "$work/demo.reg")" >/dev/null 2>&1
    rm -rf "$demo_dir"
    mkdir -p "$demo_dir"
    printf 'demo' >"$demo_dir/old.log"
    printf 'demo' >"$demo_dir/notes.txt"
    touch -d '2020-01-02 03:04:05' "$demo_dir/old.log" "$demo_dir/notes.txt"
    wineserver -k 2>/dev/null || true
    wineserver -w
}
# The installer moves its files' times an hour past the moment it ran: those
# dates are masked, every other column must match.
masked() {
    awk '/^\[/ { dated = /^\[(New files created|Modified files)\]/; print; next }
         dated { sub(/ \| [^|]*$/, " | <when it ran>") } { print }' "$1"
}
watch_args=(--reg "$demo_key" --dir 'C:\quorvel-watch')
# All six lists on, the deleted ones too.
printf '1,1,1,1,1,1\r\n' >"$work/Settings.dat"
installer="$(winpath "$REPO_ROOT/$INSTALLER")"
reset_demo
native_rc=0
"$NATIVE" watch --prefix "$WINEPREFIX" "${watch_args[@]}" --settings "$work" -o "$work/native-watch.txt" \
    -- wine "$installer" 'C:\quorvel-watch' >/dev/null 2>"$work/native-watch.err" || native_rc=$?
reset_demo
windows_rc=0
taskset -c 0 wine "$WINDOWS" watch "${watch_args[@]}" --settings "$(winpath "$work")" \
    -o "$(winpath "$work/windows-watch.txt")" -- "$installer" 'C:\quorvel-watch' >/dev/null 2>&1 || windows_rc=$?
wineserver -k 2>/dev/null || true
wineserver -w
# Each list has a row: 2 new values, 1 deleted (and the edited value's old
# data, not counted), 1 edited, 3 new files and the new folder, 1 deleted,
# 1 modified.
rows=$(grep -oE '^\[[^]]+\] [0-9]+' "$work/native-watch.txt" | grep -oE '[0-9]+$' | tr '\n' ' ' || true)
if [ "$native_rc" -eq 1 ] && [ "$windows_rc" -eq 1 ] && [ "$rows" = "2 1 1 4 1 1 " ] &&
    diff <(masked "$work/windows-watch.txt" | tr -d '\r') <(masked "$work/native-watch.txt") >&2; then
    log "same lists: watch --prefix and quorvel-cli.exe watch around the sample installer"
    passed=$((passed + 1))
else
    log "DIFFERENT: watch around the sample installer (native exit $native_rc, Windows exit $windows_rc, rows $rows)"
    cat "$work/native-watch.err" "$work/native-watch.txt" >&2 || true
    failed=$((failed + 1))
fi
rm -rf "$demo_dir"

# While the prefix's wineserver runs, snapshot refuses with exit code 2; with
# --wait it waits for the server to end and then reads the saved files.
verdict() {
    if [ "$1" = yes ]; then
        log "as it should: $2"
        passed=$((passed + 1))
    else
        log "WRONG: $2"
        failed=$((failed + 1))
    fi
}
place=(--reg "$demo_key" -o "$work/running.snap" --settings "$work")
wineserver -p
rc=0
"$NATIVE" snapshot --prefix "$WINEPREFIX" "${place[@]}" 2>"$work/running.err" || rc=$?
ok=no
[ "$rc" -eq 2 ] && grep -q "^quorvel-cli: the wineserver of $WINEPREFIX is running (process [0-9]*)" "$work/running.err" && ok=yes
verdict "$ok" "snapshot refuses a running wineserver (exit $rc: $(cat "$work/running.err"))"
"$NATIVE" snapshot --wait --prefix "$WINEPREFIX" "${place[@]}" 2>"$work/waited.err" &
waiter=$!
sleep 1
ok=no
if kill -0 "$waiter" 2>/dev/null; then
    wineserver -k 2>/dev/null || true
    rc=0
    wait "$waiter" || rc=$?
    [ "$rc" -eq 0 ] && [ -s "$work/running.snap" ] && ok=yes
else
    wait "$waiter" || true
fi
verdict "$ok" "snapshot --wait waits for the wineserver to end, then reads the prefix"
for missing in "$work/no-such-prefix" "$work"; do
    rc=0
    "$NATIVE" snapshot --prefix "$missing" "${place[@]}" 2>"$work/missing.err" || rc=$?
    ok=no
    [ "$rc" -eq 2 ] && grep -q "^quorvel-cli: no Wine prefix at $missing (" "$work/missing.err" && ok=yes
    verdict "$ok" "snapshot of no prefix (exit $rc: $(cat "$work/missing.err"))"
done
wineserver -w
echo "prefix differential: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
