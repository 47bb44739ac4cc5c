#pragma once

namespace valvora {

// PLACEHOLDER (sample-and-hold up, averaging down) until the 8x filters land.
class Oversampler {
public:
    static constexpr int factor = 8;
    virtual ~Oversampler() = default;
    void up(double x, double out[factor]) noexcept
    {
        for (int i = 0; i < factor; ++i) out[i] = x;
    }
    double down(const double in[factor]) noexcept { return in[factor - 1]; }
};

}  // namespace valvora
