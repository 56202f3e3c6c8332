#!/usr/bin/env bash
# Wine rewrites a few keys at every start of its server. Two snapshots of the
# whole machine with nothing but a restart of Wine between them must show only
# rows marked as background, and the undo files must leave them alone. The
# server can only be restarted from outside the test exe. Expects the Wine
# environment of the test command.
set -uo pipefail
cli=$1
scratch=$(mktemp -d /tmp/quorvel-background.XXXXXX)
trap 'rm -rf "$scratch"' EXIT
passed=0
failed=0
check() {
    if eval "$2"; then
        passed=$((passed + 1))
    else
        failed=$((failed + 1))
        echo "background: $1" >&2
    fi
}
places=(--reg 'HKLM\System' --reg 'HKLM\Software' --reg 'HKU' --dir 'C:\windows')
taskset -c 0 wine "$cli" snapshot "${places[@]}" -o "Z:$scratch/before.qvs" 2>"$scratch/err1"
wineserver -k 2>/dev/null || true
wineserver -w 2>/dev/null || true
taskset -c 0 wineserver -p 2>/dev/null || true
taskset -c 0 wine "$cli" snapshot "${places[@]}" -o "Z:$scratch/after.qvs" 2>"$scratch/err2"
taskset -c 0 wine "$cli" diff "Z:$scratch/before.qvs" "Z:$scratch/after.qvs" --format json \
    -o "Z:$scratch/diff.json" 2>"$scratch/err3"
taskset -c 0 wine "$cli" diff "Z:$scratch/before.qvs" "Z:$scratch/after.qvs" --format reg \
    -o "Z:$scratch/undo.reg" 2>>"$scratch/err3"
tr -d '\r' <"$scratch/diff.json" >"$scratch/diff.txt"
counts=$(grep -o '"counts":{[^}]*}' "$scratch/diff.txt")
background=$(echo "$counts" | grep -o '"background":[0-9]*' | grep -o '[0-9]*$')
# Every row of the six lists carries "background":true, and there are some.
rows=$(grep -c '^{"\(key\|path\)"' "$scratch/diff.txt" || true)
marked=$(grep -c '"background":true' "$scratch/diff.txt" || true)
check "no background rows after a restart of Wine: $counts" '[ "${background:-0}" -gt 0 ]'
check "$((rows - marked)) rows not marked as background: $(grep '^{"\(key\|path\)"' "$scratch/diff.txt" | grep -v '"background":true' | head -5)" \
    '[ "$rows" -eq "$marked" ]'
undo=$(iconv -f UTF-16LE -t UTF-8 "$scratch/undo.reg" 2>/dev/null | tr -d '\r')
check "the reg undo touches background keys: $undo" \
    '! echo "$undo" | grep -q "^\[" && echo "$undo" | grep -q "Left alone"'
echo "background: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
