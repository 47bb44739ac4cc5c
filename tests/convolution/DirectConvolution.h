#pragma once
// Reference for the convolver tests: plain double-precision direct convolution.

#include <cstddef>
#include <random>
#include <vector>

namespace valvora::testing {

// y[t] = sum over k of h[k] x[t - k] for k in [firstTap, h.size()).
inline std::vector<double> directConvolution(const std::vector<float>& x, const std::vector<float>& h,
                                             std::size_t firstTap = 0)
{
    std::vector<std::size_t> taps;
    for (std::size_t k = firstTap; k < h.size(); ++k)
        if (h[k] != 0.0f) taps.push_back(k);
    std::vector<double> y(x.size(), 0.0);
    for (std::size_t t = 0; t < x.size(); ++t) {
        double sum = 0.0;
        for (std::size_t k : taps) {
            if (k > t) break;
            sum += static_cast<double>(h[k]) * x[t - k];
        }
        y[t] = sum;
    }
    return y;
}

inline std::vector<float> uniformNoise(std::size_t n, unsigned seed, float amplitude = 1.0f)
{
    std::mt19937 rng(seed);
    std::uniform_real_distribution<float> dist(-amplitude, amplitude);
    std::vector<float> v(n);
    for (auto& s : v) s = dist(rng);
    return v;
}

}  // namespace valvora::testing
