#!/usr/bin/env bash
# A key deeper than a walk goes must be named as unread, never left out in
# silence. Wine lets a registry go deeper than the 512 levels Windows allows:
# a key 600 levels deep, with a value at the bottom, is put into the test
# prefix's user.reg while its wineserver is stopped; then quorvel-cli.exe
# under Wine (which saves the subtree with RegSaveKeyEx and reads the save
# back) and the native quorvel-cli (which reads user.reg itself) each take a
# snapshot of the key's top. Each must say on standard error which key it
# could not read, and list it among the unread places of its snapshot (as
# its diff's JSON shows). user.reg is put back as it was afterwards.
# Prints "deep key: N passed, N failed" for the test command.
source "$(dirname "$0")/common.sh"

WIN_CLI=${1:-build/windows/quorvel-cli.exe}
NATIVE=${2:-build/native/quorvel-cli}
setup_wine
work=$(mktemp -d /tmp/quorvel-deep-key.XXXXXX)
hive="$WINEPREFIX/user.reg"

# The wineserver keeps the registry in memory and writes user.reg when it
# ends: the file is changed, and put back, only while no server runs.
stop_server() {
    wineserver -k 2>/dev/null || true
    wineserver -w 2>/dev/null || true
}
stop_server
cp "$hive" "$work/user.reg.before"
restore() {
    stop_server
    cp "$work/user.reg.before" "$hive"
    taskset -c 0 wineserver -p 2>/dev/null || true
    rm -rf "$work"
}
trap restore EXIT

top='QuorvelDeepKey'
levels=600
# The path as user.reg writes it ("\\" between names) and as a program names
# the key that a walk from the top cannot reach: the one 513 levels below it.
saved_path=$top
unread=$top
for ((i = 1; i < levels; i++)); do
    saved_path+="\\\\$i"
    if [ "$i" -le 513 ]; then unread+="\\$i"; fi
done
unread="key HKEY_CURRENT_USER\\$unread (deeper than 512 levels)"
printf '\n[%s] 1700000000\n#time=1d9a0b0c0d0e0f0\n"bottom"="%s levels down"\n' "$saved_path" "$levels" >>"$hive"
taskset -c 0 wineserver -p 2>/dev/null || true

passed=0
failed=0
# $1: the side's name; $2: its exit code; $3: its standard error; $4: its diff's JSON.
judge() {
    local side=$1 rc=$2 err=$3 json=$4 json_unread
    # JSON writes each backslash twice.
    json_unread=${unread//\\/\\\\}
    if [ "$rc" != 0 ]; then
        echo "deep key: $side: the snapshot ended with exit code $rc" >&2
    elif ! grep -qF "warning: 1 key could not be read; the first: $unread" "$err"; then
        echo "deep key: $side: standard error does not name $unread" >&2
    elif ! grep -qF "\"unread\":[\"$json_unread\"]" "$json"; then
        echo "deep key: $side: the snapshot's unread places are not [$unread]" >&2
    elif ! grep -qF "HKEY_CURRENT_USER\\$top — 513 registry entries" "$err"; then
        echo "deep key: $side: the snapshot does not hold the top and the 512 levels below it" >&2
    else
        passed=$((passed + 1))
        return
    fi
    tr -d '\r' <"$err" | cut -c1-400 >&2
    failed=$((failed + 1))
}

# Under Wine: output to files, not pipes, which Wine's services would hold open.
wine_rc=0
taskset -c 0 wine "$WIN_CLI" snapshot --reg "HKCU\\$top" -o "$(winpath "$work/wine.qvs")" \
    >"$work/wine.out" 2>"$work/wine.err" || wine_rc=$?
taskset -c 0 wine "$WIN_CLI" diff "$(winpath "$work/wine.qvs")" "$(winpath "$work/wine.qvs")" --format json \
    -o "$(winpath "$work/wine.json")" >/dev/null 2>&1 || true
judge "quorvel-cli.exe under Wine" "$wine_rc" "$work/wine.err" "$work/wine.json"

# Natively, from the file the stopped server wrote.
stop_server
native_rc=0
"$NATIVE" snapshot --prefix "$WINEPREFIX" --reg "HKCU\\$top" -o "$work/native.qvs" 2>"$work/native.err" ||
    native_rc=$?
"$NATIVE" diff "$work/native.qvs" "$work/native.qvs" --format json -o "$work/native.json" 2>/dev/null || true
judge "native quorvel-cli" "$native_rc" "$work/native.err" "$work/native.json"

echo "deep key: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
