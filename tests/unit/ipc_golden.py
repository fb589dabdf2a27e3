#!/usr/bin/env python3
# ipc_golden.py: the golden messages and serialisations of ipc_test.cpp,
# assembled byte by byte with struct, apart from the engine.  Prints one
# C++ table row per case; paste the rows into ipc_test.cpp when a case is
# added.  With a directory argument it writes the fuzz seeds there instead
# (qdes/ and des/, as tests/fuzz/corpus holds them).  Version 1 of the serialisation is frozen: its rows never change.
import struct

def msg(body, typ=0):
    return struct.pack('<BBBBI', 1, typ, 0, 0, 8 + len(body)) + body

def q(v): return struct.pack('<q', v)
def vec(t, items, fmt, attr=0):
    return struct.pack('<bBI', t, attr, len(items)) + b''.join(struct.pack('<' + fmt, i) for i in items)
def syms(names): return b''.join(n.encode() + b'\0' for n in names)
def D(days): return struct.pack('<i', days)

# (source, body) for -8!: every written wire type.
enc = [
    ('1', struct.pack('<b', -7) + q(1)),
    ('-5000000000', struct.pack('<b', -7) + q(-5000000000)),
    ('2.5', struct.pack('<bd', -9, 2.5)),
    ('0n', struct.pack('<b', -9) + struct.pack('<Q', 0xFFF8000000000000)),
    ('"a"', struct.pack('<bc', -10, b'a')),
    ('`ab', struct.pack('<b', -11) + b'ab\0'),
    ('2000.01.01D00:00:00.000000001', struct.pack('<b', -12) + q(1)),
    ('2000.02m', struct.pack('<bi', -13, 1)),
    ('2024.01.01', struct.pack('<b', -14) + D(8766)),
    ('0D00:00:00.000000005', struct.pack('<b', -16) + q(5)),
    ('00:01', struct.pack('<bi', -17, 1)),
    ('00:00:02', struct.pack('<bi', -18, 2)),
    ('00:00:00.003', struct.pack('<bi', -19, 3)),
    ('1 2 3', vec(7, [1, 2, 3], 'q')),
    ('1.5 0n', vec(9, [1.5], 'd')[:0] + struct.pack('<bBI', 9, 0, 2) + struct.pack('<d', 1.5) + struct.pack('<Q', 0xFFF8000000000000)),
    ('"xy"', vec(10, [b'x', b'y'], 'c')),
    ('`a`bc', struct.pack('<bBI', 11, 0, 2) + syms(['a', 'bc'])),
    ('2000.01.01D00:00:00.000000001 2000.01.01D00:00:00.000000002', vec(12, [1, 2], 'q')),
    ('2000.02 2000.03m', vec(13, [1, 2], 'i')),
    ('2000.01.02 2000.01.03', vec(14, [1, 2], 'i')),
    ('0D00:00:00.000000001 0D00:00:00.000000002', vec(16, [1, 2], 'q')),
    ('00:01 00:02', vec(17, [1, 2], 'i')),
    ('00:00:01 00:00:02', vec(18, [1, 2], 'i')),
    ('00:00:00.001 00:00:00.002', vec(19, [1, 2], 'i')),
    ('(1;`a)', struct.pack('<bBI', 0, 0, 2) + struct.pack('<b', -7) + q(1) + struct.pack('<b', -11) + b'a\0'),
    ('()', struct.pack('<bBI', 0, 0, 0)),
    ('`a`b!1 2', struct.pack('<b', 99) + struct.pack('<bBI', 11, 0, 2) + syms('ab') + vec(7, [1, 2], 'q')),
    ('([]a:1 2)', struct.pack('<bBb', 98, 0, 99) + struct.pack('<bBI', 11, 0, 1) + syms('a') +
     struct.pack('<bBI', 0, 0, 1) + vec(7, [1, 2], 'q')),
    ('{x}', struct.pack('<bB', 100, 0) + vec(10, [b'{', b'x', b'}'], 'c')),
    ('::', struct.pack('<bB', 101, 0)),
]

# (body, text of the decoded value): the wire types never written.
dec = [
    (struct.pack('<bB', -1, 2), '1'),
    (struct.pack('<bB', -4, 200), '200'),
    (struct.pack('<bh', -5, -32768), '0N'),
    (struct.pack('<bh', -5, -7), '-7'),
    (struct.pack('<bi', -6, -2**31), '0N'),
    (struct.pack('<bf', -8, 0.5), '0.5'),
    (struct.pack('<bd', -15, 1.5), '2000.01.02D12:00:00.000000000'),
    (struct.pack('<bd', -15, -0.5), '1999.12.31D12:00:00.000000000'),
    (struct.pack('<b', -15) + struct.pack('<Q', 0x7FF8000000000000), '0Np'),
    (struct.pack('<bBI', 1, 0, 3) + bytes([0, 5, 1]), '010b'),
    (vec(4, [1, 255], 'B'), '1 255'),
    (vec(5, [1, -32768], 'h'), '1 0N'),
    (vec(6, [1, -2**31], 'i'), '1 0N'),
    (vec(8, [0.5, 2.0], 'f'), '0.5 2'),
    (vec(15, [1.5], 'd'), ',2000.01.02D12:00:00.000000000'),
    (struct.pack('<bBI', 0, 0, 1) + struct.pack('<bh', -5, 3), ',3'),
]

# (source, serialisation) for `ser.
ser = [
    ('5', b'ZKB\x01' + struct.pack('<bI', 13, 5)),
    ('5j', b'ZKB\x01' + struct.pack('<bBQq', 14, 0, 1, 5)),
    ('::', b'ZKB\x01' + struct.pack('<bI', 22, 0)),
    ('`ab', b'ZKB\x01' + struct.pack('<bI', 17, 2) + b'ab'),
    ('"xy"', b'ZKB\x01' + struct.pack('<bBQ', 9, 0, 2) + b'xy'),
    ('2024.01.01', b'ZKB\x01' + struct.pack('<bi', 26, 8766)),
    ('`a`b!1 2', b'ZKB\x01' + struct.pack('<bBQ', 12, 0, 2) + struct.pack('<bBQ', 10, 0, 2) +
     struct.pack('<I', 1) + b'a' + struct.pack('<I', 1) + b'b' + struct.pack('<bBQbb', 4, 0, 2, 1, 2)),
]

import os, sys
if len(sys.argv) > 1:
    d = sys.argv[1]
    os.makedirs(d + '/qdes', exist_ok=True)
    os.makedirs(d + '/des', exist_ok=True)
    z = struct.pack('<BBBBI', 1, 0, 1, 0, 23) + struct.pack('<I', 24) + b'\0\x0a\0\x0a\0\0\0aa\x01\0\x06'
    for i, b in enumerate([msg(b) for _, b in enc] + [msg(b) for b, _ in dec] + [z]):
        open('%s/qdes/g%02d' % (d, i), 'wb').write(b)
    for i, (_, b) in enumerate(ser):
        open('%s/des/g%02d' % (d, i), 'wb').write(b)
    sys.exit(0)

def c(b): return ''.join('\\x%02x' % x for x in b)
for s, b in enc: print('    {"%s", "%s"},' % (s.replace('"', '\\"'), msg(b).hex()))
print()
for b, t in dec: print('    {"%s", "%s"},' % (msg(b).hex(), t))
print()
for s, b in ser: print('    {"%s", "%s"},' % (s.replace('"', '\\"'), b.hex()))
