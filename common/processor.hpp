// What the processor the program runs on can do.
//
// The programs run on every x86-64 processor, whose vector instructions are
// at least SSE2. A loop over every pixel is built a second time for the twice
// as wide AVX2 instructions, in a function marked [[gnu::target("avx2")]]
// that is called only where has_avx2() is true. The loop's body is inlined
// into that function ([[gnu::always_inline]]), so that it is built with AVX2
// there and with SSE2 everywhere else.
#pragma once

namespace heightio {

bool has_avx2();

}  // namespace heightio
