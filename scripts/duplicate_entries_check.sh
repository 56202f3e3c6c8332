#!/usr/bin/env bash
# A registry file that names a key or a value twice (Wine never writes one; a
# hand or a tool may) must be read natively as wineserver loads it. The same
# user.reg, with a key given twice in two spellings and values repeated in
# it, is read by the native quorvel-cli watch (which lists what it finds as
# new) and by Wine's own regedit (which exports the key): they must agree.
# Uses a prefix of its own in build/, made once.
# Prints "duplicate entries: N passed, N failed" for the test command.
source "$(dirname "$0")/common.sh"

NATIVE=${1:-build/native/quorvel-cli}
export WINEPREFIX="$REPO_ROOT/build/duplicates-prefix"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
export WINEARCH=win64
if [ ! -f "$WINEPREFIX/.quorvel-ready" ]; then
    log "creating the duplicate check's Wine prefix (once per build folder)"
    mkdir -p "$WINEPREFIX"
    wineboot -i >/dev/null 2>&1 || true
    wineserver -w || true
    cp "$WINEPREFIX/user.reg" "$WINEPREFIX/user.reg.fresh"
    touch "$WINEPREFIX/.quorvel-ready"
fi
wineserver -w 2>/dev/null || true
work=$(mktemp -d /tmp/quorvel-duplicates.XXXXXX)
trap 'rm -rf "$work"' EXIT

# The key is there before, without values; the "installer" appends the rest.
cp "$WINEPREFIX/user.reg.fresh" "$WINEPREFIX/user.reg"
printf '\n[Software\\\\qvdup] 1700000000\n' >>"$WINEPREFIX/user.reg"
cat >"$work/repeats" <<'EOF'

[Software\\qvdup] 1700000000
"b"="1"
"Name"="1"
"v"="1"
"z"="keep"

[Software\\qvdup\\Sub] 1700000000
"s"="1"

[Software\\QVDUP] 1700000001
"b"="2"
"NAME"="2"
"v"=dword:00000002
"a"="added"
"s"="not in Sub"
EOF
rc=0
"$NATIVE" watch --prefix "$WINEPREFIX" --reg 'HKCU\Software\qvdup' --format csv -o "$work/native.csv" \
    -- sh -c "cat '$work/repeats' >>'$WINEPREFIX/user.reg'" 2>"$work/native.err" || rc=$?
wine regedit /e "$(winpath "$work/wine.reg")" 'HKEY_CURRENT_USER\Software\qvdup' >/dev/null 2>&1 || true
wineserver -w 2>/dev/null || true

# Each side as "key|name|data", in Wine's form of a dword.
tail -n +2 "$work/native.csv" | tr -d '\r' |
    awk -F, '{ d = $4; if ($5 == "REG_DWORD") d = sprintf("dword:%08x", $4); print $2 "|" $3 "|" d }' |
    sort >"$work/native.rows"
iconv -f UTF-16 -t UTF-8 "$work/wine.reg" 2>/dev/null | tr -d '\r' |
    awk '/^\[/ { k = substr($0, 2, length($0) - 2); sub(/^HKEY_CURRENT_USER\\/, "", k); k = k "\\"; next }
         /^"/  { i = index($0, "\"="); d = substr($0, i + 2); if (d ~ /^"/) d = substr(d, 2, length(d) - 2);
                 print k "|" substr($0, 2, i - 2) "|" d }' |
    sort >"$work/wine.rows"

if [ "$rc" = 1 ] && [ -s "$work/wine.rows" ] && cmp -s "$work/native.rows" "$work/wine.rows"; then
    echo "duplicate entries: 1 passed, 0 failed"
else
    echo "duplicate entries: the native reading (exit code $rc) and Wine's differ:" >&2
    diff "$work/native.rows" "$work/wine.rows" >&2 || true
    cat "$work/native.err" >&2
    echo "duplicate entries: 0 passed, 1 failed"
    exit 1
fi
