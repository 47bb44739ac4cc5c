#pragma once
// Feeds two convolvers that share their hand-offs (serveAlso) and two that
// run on their own the same frames, channel 0 first as the stages do, and
// asserts every output equal bit for bit: which thread computes a block must
// not change a single sample.

#include <gtest/gtest.h>

#include <cstddef>
#include <vector>

#include "tests/convolution/DirectConvolution.h"

namespace valvora::testing {

// n frames; each side fed only where asked (the other's hand-offs then
// never come; a side not fed may be gone, null). The second channel gets
// the first's input at -6 dB.
template <typename Convolver>
void feedPairAndCompare(Convolver* first, Convolver* second, Convolver& aloneFirst, Convolver& aloneSecond,
                        int n, unsigned seed, bool feedFirst, bool feedSecond)
{
    const auto x = uniformNoise(static_cast<std::size_t>(n), seed);
    for (int t = 0; t < n; ++t) {
        const float u = x[static_cast<std::size_t>(t)], v = -0.5f * u;
        if (feedFirst) {
            ASSERT_EQ(first->process(u), aloneFirst.process(u)) << "first, frame " << t;
        }
        if (feedSecond) {
            ASSERT_EQ(second->process(v), aloneSecond.process(v)) << "second, frame " << t;
        }
    }
}

}  // namespace valvora::testing
