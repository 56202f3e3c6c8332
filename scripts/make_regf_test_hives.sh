#!/usr/bin/env bash
# Writes the regf test hives of tests/data/regf/ with Debian's hivex (an
# independent writer of the format), starting from an empty hive laid out
# here byte by byte, since hivex cannot create one. The tests name what each
# hive holds, so a change here goes with a change there.
set -euo pipefail
cd "$(dirname "$0")/.."
if ! /usr/bin/python3 -c 'import hivex' 2>/dev/null; then
    apt-get install -y python3-hivex >/dev/null
fi
out=tests/data/regf
mkdir -p "$out"
/usr/bin/python3 - "$out" <<'PY'
import os, struct, sys, shutil, tempfile
import hivex

out = sys.argv[1]

def cell(data):
    size = (4 + len(data) + 7) & ~7
    return struct.pack('<i', -size) + data + b'\0' * (size - 4 - len(data))

def empty_hive(path):
    # One bin: the root key, its security cell, and free space.
    name = b'ROOT'
    nk_size = (4 + 76 + len(name) + 7) & ~7
    sk_off = 0x20 + nk_size
    nk = (b'nk' + struct.pack('<HQII', 0x2C, 0, 0, 0xFFFFFFFF) +
          struct.pack('<IIII', 0, 0, 0xFFFFFFFF, 0xFFFFFFFF) +
          struct.pack('<IIII', 0, 0xFFFFFFFF, sk_off, 0xFFFFFFFF) +
          struct.pack('<IIIII', 0, 0, 0, 0, 0) + struct.pack('<HH', len(name), 0) + name)
    # A self-relative descriptor with an empty DACL.
    desc = bytes([1, 0]) + struct.pack('<HIIII', 0x8004, 0, 0, 0, 20) + bytes([2, 0]) + struct.pack('<HHH', 8, 0, 0)
    sk = b'sk\0\0' + struct.pack('<IIII', sk_off, sk_off, 1, len(desc)) + desc
    body = cell(nk) + cell(sk)
    free = 4096 - 32 - len(body)
    hbin = b'hbin' + struct.pack('<II', 0, 4096) + b'\0' * 20 + body + struct.pack('<i', free) + b'\0' * (free - 4)
    base = bytearray(4096)
    struct.pack_into('<4sIIQIIIIIII', base, 0, b'regf', 1, 1, 0, 1, 5, 0, 1, 0x20, 4096, 1)
    checksum = 0
    for i in range(127):
        checksum ^= struct.unpack_from('<I', base, i * 4)[0]
    struct.pack_into('<I', base, 508, checksum)
    with open(path, 'wb') as f:
        f.write(bytes(base) + hbin)

def utf16z(*strings):
    return b''.join(s.encode('utf-16-le') + b'\0\0' for s in strings)

def make(name, fill):
    path = os.path.join(out, name)
    empty_hive(path)
    h = hivex.Hivex(path, write=True)
    fill(h, h.root())
    h.commit(path)

def values(h, root):
    k = h.node_add_child(root, 'Values')
    h.node_set_values(k, [
        {'key': '', 't': 1, 'value': utf16z('default')},
        {'key': 'sz', 't': 1, 'value': utf16z('plain \u00e9\u20ac')},
        {'key': 'expand', 't': 2, 'value': utf16z('%PATH%\\x')},
        {'key': 'binary', 't': 3, 'value': bytes([0, 0xFF, 0x10])},
        {'key': 'empty', 't': 3, 'value': b''},
        {'key': 'four', 't': 3, 'value': bytes([1, 2, 3, 4])},
        {'key': 'five', 't': 3, 'value': bytes([1, 2, 3, 4, 5])},
        {'key': 'dword', 't': 4, 'value': struct.pack('<I', 0xDEADBEEF)},
        {'key': 'bigendian', 't': 5, 'value': struct.pack('>I', 7)},
        {'key': 'link', 't': 6, 'value': '\\Registry\\Machine\\Software'.encode('utf-16-le')},
        {'key': 'multi', 't': 7, 'value': utf16z('a', 'b', '') },
        {'key': 'qword', 't': 11, 'value': struct.pack('<Q', 0x0123456789ABCDEF)},
        {'key': 'none', 't': 0, 'value': bytes([9, 8, 7])},
        {'key': 'odd', 't': 0x1234, 'value': b'odd!!'},
        {'key': 'n\u00e4me \u0416', 't': 1, 'value': utf16z('named')},
        {'key': 'exact', 't': 3, 'value': bytes(i % 251 for i in range(16344))},
        {'key': 'over', 't': 3, 'value': bytes(i % 253 for i in range(16345))},
        {'key': 'big', 't': 3, 'value': bytes(i % 241 for i in range(100000))},
        {'key': 'bigsz', 't': 1, 'value': utf16z('x' * 20000)},
    ])
    h.node_add_child(root, 'Caf\u00e9')
    h.node_add_child(root, '\u041a\u043b\u044e\u0447')

def deep(h, root):
    k = root
    for i in range(200):
        k = h.node_add_child(k, 'level%d' % i)
    h.node_set_value(k, {'key': 'bottom', 't': 4, 'value': struct.pack('<I', 200)})

def many(h, root):
    m = h.node_add_child(root, 'Many')
    for i in range(300):
        c = h.node_add_child(m, 'sub%04d' % i)
        if i % 100 == 0:
            h.node_set_value(c, {'key': 'i', 't': 4, 'value': struct.pack('<I', i)})
    f = h.node_add_child(root, 'Few')
    for n in ('b', 'A', 'c'):
        h.node_add_child(f, n)

make('values.hiv', values)
make('deep.hiv', deep)
make('many.hiv', many)
PY
ls -l "$out"
