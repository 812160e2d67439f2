// Hot loops that gain from 256-bit vectors are compiled twice: for the x86-64
// baseline (two doubles to a register) and for AVX2 (four), and the AVX2 copy
// runs where the processor has it. Both copies perform the same IEEE
// operations in the same order on every value, with no fused multiply-add
// (AVX2 alone does not enable it), so their results agree bit for bit; only
// the number of lanes a register holds differs.
#pragma once

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#define VARNHOLT_WIDE_VECTORS 1
// Marks the function compiled for AVX2.
#define VARNHOLT_WIDE_TARGET __attribute__((target("avx2")))
#else
#define VARNHOLT_WIDE_VECTORS 0
#define VARNHOLT_WIDE_TARGET
#endif

// Marks the shared body of both copies, so that each copy inlines it and the
// compiler vectorises it for that copy's target.
#define VARNHOLT_INLINE_BODY inline __attribute__((always_inline))

namespace varnholt {

// True when this processor runs the AVX2 copies; asked once per process.
bool wide_vectors_available() noexcept;

}  // namespace varnholt
