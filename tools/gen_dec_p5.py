#!/usr/bin/env python3
# gen_dec_p5.py: prints the body of the csv_p5 table in src/io/dec.cpp:
# the normalised 128-bit powers of five for decimal exponents -342..308,
# high word then low word.  Negative powers are reciprocals rounded up
# (floor + 1) with enough extra bits that the 128-bit truncation of w * entry
# never lands on the wrong side of a rounding boundary for any 64-bit w.
# The unit test recomputes every entry independently and compares.
lo, hi = -342, 308
out = []
for q in range(lo, hi + 1):
    if q >= 0:
        v = 5 ** q
        z = v.bit_length()
        v = v << (128 - z) if z <= 128 else v >> (z - 128)
    else:
        d = 5 ** -q
        z = d.bit_length()
        b = z + 127 if q >= -27 else 2 * z + 128
        v = (1 << b) // d + 1
        while v >= 1 << 128:
            v >>= 1
    assert v >> 127 == 1
    out.append("    {0x%016x, 0x%016x},  // %d" % (v >> 64, v & (2**64 - 1), q))
print("\n".join(out))
