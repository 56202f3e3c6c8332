#!/usr/bin/env bash
# The HTML report as a reader gets it: a real browser opens the page that the
# native quorvel-cli writes from two snapshots of a small made-up prefix. The
# rendered page must hold every list with the counts the installer's changes
# give, fold the large folder, run its find box, and name nothing outside
# itself. A screenshot is kept in build/windows/test-artifacts/ for a person.
# Prints "report: N passed, N failed" for the test command.
source "$(dirname "$0")/common.sh"

CLI=${1:-build/native/quorvel-cli}
ensure_packages "${REPORT_PACKAGES[@]}"
ARTIFACTS="$REPO_ROOT/build/windows/test-artifacts"
mkdir -p "$ARTIFACTS"
work=$(mktemp -d /tmp/quorvel-report.XXXXXX)
trap 'rm -rf "$work"' EXIT

passed=0
failed=0
verdict() {
    if [ "$1" = yes ]; then
        log "as it should: $2"
        passed=$((passed + 1))
    else
        log "WRONG: $2"
        failed=$((failed + 1))
    fi
}

# A prefix is its three registry files and its drives; no Wine runs here.
pfx="$work/pfx"
mkdir -p "$pfx/drive_c/Games/Old" "$pfx/drive_c/Windows/Prefetch" "$pfx/dosdevices"
ln -s ../drive_c "$pfx/dosdevices/c:"
printf 'WINE REGISTRY Version 2\n;; All keys relative to REGISTRY\\\\Machine\n\n#arch=win64\n' >"$pfx/system.reg"
printf 'WINE REGISTRY Version 2\n' >"$pfx/userdef.reg"
user_reg() {
    {
        printf 'WINE REGISTRY Version 2\n;; All keys relative to REGISTRY\\\\User\\\\S-1-5-21-0-0-0-1000\n\n#arch=win64\n\n'
        printf '[Software\\\\Microsoft\\\\Windows\\\\CurrentVersion\\\\Explorer\\\\UserAssist] 1\n'
        cat
    } >"$pfx/user.reg"
}
user_reg <<'EOF'
[Software\\Vendor\\Game] 1
"Version"="1.0"
"Count"="5"
"Obsolete"="left over from 0.9"
"Paths"=hex(7):61,00,00,00,00,00
EOF
printf 'old' >"$pfx/drive_c/Games/Old/readme.txt"
printf 'settings' >"$pfx/drive_c/Games/game.ini"
touch -d '2024-01-02 03:04:05' "$pfx/drive_c/Games/game.ini" "$pfx/drive_c/Games/Old/readme.txt"

mkdir -p "$work/settings"
places=(--reg 'HKCU\Software\Vendor' --reg 'HKCU\Software\Microsoft\Windows\CurrentVersion\Explorer\UserAssist'
    --dir 'C:\Games' --dir 'C:\Windows')
"$CLI" snapshot --prefix "$pfx" "${places[@]}" -o "$work/before.qvs" --settings "$work/settings"

# What the "installer" did: a new key with values, an edited version, a
# DWORD that was a string, a multi-string with a second string, a deleted
# value; 60 files in one folder, a modified and a deleted file, a deleted
# folder; and a prefetch trace and a UserAssist value that Windows makes by
# itself.
user_reg <<'EOF'
[Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\UserAssist\\Count] 1
"HRZR_PGYFRFFVBA"=hex:00,01
[Software\\Vendor\\Game] 1
"Version"="1.2"
"Count"=dword:00000005
"Paths"=hex(7):61,00,00,00,62,00,00,00,00,00
"InstallDir"="C:\\Games\\Game"
[Software\\Vendor\\Game\\Plugins] 1
"Audio"="audio|mixer.dll"
EOF
mkdir -p "$pfx/drive_c/Games/Game/data"
for i in $(seq -w 1 60); do head -c "$((10#$i * 1000))" /dev/zero >"$pfx/drive_c/Games/Game/data/level$i.pak"; done
head -c 2500000 /dev/zero >"$pfx/drive_c/Games/Game/game.exe"
printf 'settings, changed' >"$pfx/drive_c/Games/game.ini"
rm -rf "$pfx/drive_c/Games/Old"
printf 'trace' >"$pfx/drive_c/Windows/Prefetch/SETUP.EXE-12345678.pf"
"$CLI" snapshot --prefix "$pfx" "${places[@]}" -o "$work/after.qvs" --settings "$work/settings"

rc=0
"$CLI" diff "$work/before.qvs" "$work/after.qvs" --settings "$work/settings" --format html \
    --comment 'Game 1.2 setup, default options' -o "$work/report.html" || rc=$?
ok=no
[ "$rc" -eq 1 ] && [ -s "$work/report.html" ] && ok=yes
verdict "$ok" "diff --format html writes the report (exit $rc)"
"$CLI" diff "$work/before.qvs" "$work/after.qvs" --settings "$work/settings" --format md \
    --comment 'Game 1.2 setup, default options' -o "$work/report.md" || true
cp "$work/report.html" "$ARTIFACTS/report.html"
cp "$work/report.md" "$ARTIFACTS/report.md" 2>/dev/null || true

browser() {
    timeout 120 chromium --headless --no-sandbox --disable-gpu --disable-quic --no-first-run \
        --disable-background-networking --disable-component-update --disable-sync \
        --user-data-dir="$(mktemp -d "$work/profile.XXXXXX")" "$@" 2>>"$work/chromium.log"
}

# The page as the browser built it, its script run.
browser --dump-dom "file://$work/report.html" >"$work/dom.html" || true
dom="$work/dom.html"
ok=no
grep -q '<h1>Quorvel report</h1>' "$dom" && ok=yes
verdict "$ok" "the browser renders the page ($(wc -c <"$dom") bytes of DOM)"

count_of() { grep -oE "data-list=\"$1\">[0-9]+<" "$dom" | grep -oE '[0-9]+' || echo none; }
# Registry: a new key's value and a new value; 1 deleted value (the old data
# of the 3 edits is no deletion); 3 edits. Files: the new folders, 61 files;
# a deleted folder and its file; one modified file.
expected=(new-registry-entries:2 deleted-registry-entries:1 edited-registry-data:3 new-files:63 deleted-files:2
    modified-files:1)
for pair in "${expected[@]}"; do
    list=${pair%%:*}
    want=${pair#*:}
    got=$(count_of "$list")
    ok=no
    [ "$got" = "$want" ] && grep -q "<section class=\"list\" id=\"$list\">" "$dom" && ok=yes
    verdict "$ok" "$list: $got rows in the summary (want $want) and its section"
done

# The page's script adds its own attributes to each section (data-o).
folds() { grep -oE "<details[^>]*data-path=\"$1\"[^>]*>" "$dom" || true; }
ok=no
grep -q '<section id="background">' "$dom" && grep -q 'SETUP.EXE-12345678.pf' "$dom" &&
    folds '' | grep -q 'class="bg"' && ! folds '' | grep -q ' open' && ok=yes
verdict "$ok" "the background rows are in their own folded section"
ok=no
data=$(folds 'C:\\Games\\Game\\data\\')
plugins=$(folds 'HKEY_CURRENT_USER\\Software\\Vendor\\Game\\Plugins')
[ -n "$data" ] && [[ "$data" != *" open"* ]] && [[ "$plugins" == *" open"* ]] && ok=yes
verdict "$ok" "a folder of 60 files is folded, a key of one value is open"
ok=no
grep -qF 'All below <code>HKEY_CURRENT_USER\Software\Vendor\Game</code>' "$dom" &&
    grep -q 'REG_SZ → REG_DWORD' "$dom" && grep -q '<span class="ln">a</span><span class="ln">b</span>' "$dom" &&
    ok=yes
verdict "$ok" "the shared key is written once, and edits name both types and each string"
ok=no
grep -q 'Game 1.2 setup, default options' "$dom" && grep -q 'machine ' "$dom" && grep -q 'UserAssist' "$dom" &&
    ok=yes
verdict "$ok" "the header holds the comment, the snapshots and every place"
ok=no
grep -q '<div id="find">' "$dom" && ok=yes
verdict "$ok" "the find box shows once its script has run"

# A reader types into the find box: one file of the folded folder is left,
# its sections open, and the sections without a match are hidden.
sed 's|</body>|<script>var b=document.getElementById("find-text");b.value="LEVEL07";b.dispatchEvent(new Event("input"));</script></body>|' \
    "$work/report.html" >"$work/find.html"
browser --dump-dom "file://$work/find.html" >"$work/find-dom.html" || true
dom="$work/find-dom.html"
data=$(folds 'C:\\Games\\Game\\data\\')
plugins=$(folds 'HKEY_CURRENT_USER\\Software\\Vendor\\Game\\Plugins')
shown=$(grep -oE '<tr class="r">' "$dom" | wc -l)
ok=no
grep -q '<span id="find-count" class="note">1 row found</span>' "$dom" && [ "$shown" -eq 1 ] &&
    [[ "$data" == *" open"* ]] && [[ "$plugins" == *" hidden"* ]] && ok=yes
verdict "$ok" "the find box leaves the rows that match and opens their sections ($shown rows shown)"
dom="$work/dom.html"

# Nothing outside the page: in its tags, its style and its script (the rows'
# text may name anything and fetches nothing).
outside=$(sed -e 's/>[^<]*</></g' "$work/report.html" | tr '\n' ' ' | grep -oE '<[^>]*>' |
    grep -iE 'src=|href="[^#]|href=[^"]|url\(|@import|https?:' || true)
code=$(awk '/<style>/,/<\/style>/; /<script>/,/<\/script>/' "$work/report.html" |
    grep -iE 'src=|href=|url\(|@import|https?:' || true)
ok=no
[ -z "$outside$code" ] && ok=yes
verdict "$ok" "the page names no external resource${outside:+: $outside}${code:+: $code}"

rm -f "$ARTIFACTS/report.png"
browser --screenshot="$ARTIFACTS/report.png" --window-size=1200,1600 "file://$work/report.html" >/dev/null || true
ok=no
[ "$(stat -c %s "$ARTIFACTS/report.png" 2>/dev/null || echo 0)" -gt 20000 ] && ok=yes
verdict "$ok" "a screenshot is kept: $ARTIFACTS/report.png"
browser --print-to-pdf="$work/report.pdf" --no-pdf-header-footer "file://$work/report.html" >/dev/null || true
ok=no
[ "$(stat -c %s "$work/report.pdf" 2>/dev/null || echo 0)" -gt 10000 ] && ok=yes && cp "$work/report.pdf" "$ARTIFACTS/report.pdf"
verdict "$ok" "the page prints"

[ "$failed" -eq 0 ] || { log "chromium said:"; tail -20 "$work/chromium.log" >&2 || true; }
echo "report: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
