// Marks a hot numeric routine to be compiled twice, for AVX2 and for the baseline instruction
// set, the copy chosen once when the program is loaded.
#pragma once

// The AVX2 copy does, for every value, the operations of the baseline copy in the same order:
// only more values go through one instruction. The avx2 target has no fused multiply-add, and
// the build forbids contracting a product and a sum (-ffp-contract=off), so both copies give
// the same bits.
#define QUELBRO_WIDE_CLONES __attribute__((target_clones("avx2", "default")))
