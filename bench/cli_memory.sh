#!/usr/bin/env bash
# Peak memory of quorvel-cli.exe as whole processes under Wine, measured from
# outside (the maximum resident set that /usr/bin/time reports for the Wine
# process), beside the bare FindFirstFileExW loop of cli_files_win_bench.exe
# run as a process of its own and `quorvel-cli.exe --version`, in one run:
#   snapshot --dir TREE   (the bench's tree of 100,000 files)
#   diff of two such snapshots, as JSON
#   snapshot --reg KEY    (a key of 20,000 subkeys and 100,000 values, made
#                          once in a prefix of its own with regedit)
# Run from the repository root after the Windows build: bench/cli_memory.sh
source "$(dirname "$0")/../scripts/common.sh"

ensure_packages wine wine64 time
bin=$REPO_ROOT/build/windows
[ -x "$bin/cli_files_win_bench.exe" ] || configure_and_build windows >&2
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
export WINEPREFIX=$REPO_ROOT/build/windows/memory-bench-prefix
work=$(mktemp -d /tmp/quorvel-memory-bench.XXXXXX)
trap 'wineserver -k 2>/dev/null || true; rm -rf "$work"' EXIT
# The server first, pinned and persistent; then the prefix, made once.
taskset -c 0 wineserver -p || true
taskset -c 0 wineboot -i >/dev/null 2>&1
tree=$(winpath "$bin/cli_files_tree")
if [ ! -e "$bin/cli_files_tree/tree.complete" ]; then
    echo "the file tree is made by the first run of cli_files_win_bench.exe; making it now" >&2
    taskset -c 0 wine "$bin/cli_files_win_bench.exe" >/dev/null 2>&1 || true
fi
key='HKEY_CURRENT_USER\Software\QuorvelMemoryBench'
if ! taskset -c 0 wine reg query "$key\\Group199\\Key019999" >/dev/null 2>&1; then
    python3 - "$work/bench.reg" <<'PY'
import sys
with open(sys.argv[1], 'w', encoding='utf-16') as f:
    f.write('Windows Registry Editor Version 5.00\r\n\r\n')
    for k in range(20000):
        f.write('[HKEY_CURRENT_USER\\Software\\QuorvelMemoryBench\\Group%03d\\Key%06d]\r\n' % (k // 100, k))
        for v in range(5):
            if v % 3 == 0: f.write('"Value%d"="Some text value number %d for key %d"\r\n' % (v, v, k))
            elif v % 3 == 1: f.write('"Value%d"=dword:%08x\r\n' % (v, v * k))
            else: f.write('"Value%d"=hex:%s\r\n' % (v, ','.join('%02x' % ((k + i) & 255) for i in range(16))))
        f.write('\r\n')
PY
    taskset -c 0 wine regedit /s "$(winpath "$work/bench.reg")"
fi

peak() {  # peak LABEL COMMAND...: prints the label and the peak resident set in MiB
    local label=$1 kib
    shift
    /usr/bin/time -o "$work/peak" -f '%M' taskset -c 0 wine "$@" >/dev/null 2>&1 || true
    kib=$(tail -1 "$work/peak")
    awk -v l="$label" -v k="$kib" 'BEGIN { printf "%-34s %7.1f MiB\n", l, k / 1024 }'
}
a=$(winpath "$work/a.qvs")
b=$(winpath "$work/b.qvs")
peak "quorvel-cli --version" "$bin/quorvel-cli.exe" --version
peak "bare loop, 100,000 files" "$bin/cli_files_win_bench.exe" --bare-process "$tree"
peak "snapshot --dir, 100,000 files" "$bin/quorvel-cli.exe" snapshot --dir "$tree" -o "$a" --quiet
cp "$work/a.qvs" "$work/b.qvs"
peak "diff, two such snapshots, JSON" "$bin/quorvel-cli.exe" diff "$a" "$b" --format json -o "$(winpath "$work/d.json")" --quiet
peak "snapshot --reg, 100,000 values" "$bin/quorvel-cli.exe" snapshot --reg "$key" -o "$a" --quiet
echo "for comparison, from outside: Regshot 1.9.1 took 39.4 MiB on 100,000 files and 32.4 MiB on 100,000 values"
