#!/usr/bin/env python3
# Prints the constants and tables of the C library's exp and log (x86-64, glibc 2.36) as the
# hexadecimal bit patterns that batch_math.cpp holds; run it to check them against a libm.so.6.
import struct
import sys

path = sys.argv[1] if len(sys.argv) > 1 else "/lib/x86_64-linux-gnu/libm.so.6"
data = open(path, "rb").read()

# File offsets of the two data blocks; the read-only segment maps file offset = address.
EXP_DATA = 0xAAB20
LOG_DATA = 0xAB3A0
MINUS_ONE = 0x909F0


def word(offset):
    return struct.unpack_from("<Q", data, offset)[0]


def rows(values, per_line):
    for i in range(0, len(values), per_line):
        print("    " + " ".join("0x%016x," % v for v in values[i : i + per_line]))


print("exp: 1/ln2 * 128, -ln2/128 high and low, C2..C5, shift")
for off in (0x0, 0x8, 0x10, 0x18, 0x20, 0x28, 0x30, 0x38):
    print("  +0x%02x 0x%016x" % (off, word(EXP_DATA + off)))
print("exp table: 128 pairs {tail of 2^(i/128), its bits less i << 45}")
rows([word(EXP_DATA + 0x70 + 8 * i) for i in range(256)], 4)
print("log: ln2 high and low, A0..A4")
for off in range(0, 0x38, 8):
    print("  +0x%02x 0x%016x" % (off, word(LOG_DATA + off)))
print("log minus one: 0x%016x" % word(MINUS_ONE))
print("log table: 128 pairs {1/c, log c}")
rows([word(LOG_DATA + 0x90 + 8 * i) for i in range(256)], 4)
