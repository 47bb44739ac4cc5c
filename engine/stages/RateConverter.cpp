#include "engine/stages/RateConverter.h"

#include "engine/ResamplingCoefficients.h"

namespace valvora {

RateConverter::RateConverter() noexcept
{
    for (int i = 0; i < sections; ++i) {
        evenCoefficients_[i] = static_cast<float>(resampling::allpassCoefficients[2 * i]);
        oddCoefficients_[i] = static_cast<float>(resampling::allpassCoefficients[2 * i + 1]);
    }
    for (int k = 0; k < firLength; ++k) fir_[k] = static_cast<float>(resampling::firCoefficients[k]);
}

float RateConverter::runPath(AllpassPath& path, const float* c, float x) noexcept
{
    for (int i = 0; i < sections; ++i) {
        const float y = c[i] * (x - path.output[i]) + path.input[i];
        path.input[i] = x;
        path.output[i] = y;
        x = y;
    }
    return x;
}

void RateConverter::push(float x) noexcept
{
    position_ = (position_ + ringSize - 1) & (ringSize - 1);
    history_[position_] = x;
    history_[position_ + ringSize] = x;
}

// FIR output whose newest input is `newestOffset` places back in the ring.
float RateConverter::firAt(int newestOffset) const noexcept
{
    const float* h = history_ + position_ + newestOffset;
    float sum = 0.0f;
    for (int k = 0; k < firLength; ++k) sum += fir_[k] * h[k];
    return sum;
}

float RateConverter::down2(const float* block) noexcept
{
    const float e = pathE(block[1]);
    const float o = pathO(block[0]);
    return (e + o) * 0.5f;
}

void RateConverter::up2(float x, float* block) noexcept
{
    block[0] = pathE(x);
    block[1] = pathO(x);
}

float RateConverter::down4(const float* block) noexcept
{
    for (int i = 0; i < 4; ++i) push(block[i]);
    // Evaluated at the block's oldest sample; the three newer ones enter later results.
    return firAt(3);
}

void RateConverter::up4(float x, float* block) noexcept
{
    push(4.0f * x);
    const float* h = history_ + position_;
    for (int o = 0; o < 4; ++o) {
        float sum = 0.0f;
        for (int i = 0; i < 10; ++i) sum += fir_[o + 4 * i] * h[i];
        block[o] = sum;
    }
}

float RateConverter::down8(const float* block) noexcept
{
    for (int i = 0; i < 8; ++i) push(block[i]);
    const float b = firAt(0);  // ends at s7
    const float a = firAt(4);  // ends at s3
    return (pathE(b) + pathO(a)) * 0.5f;
}

void RateConverter::up8(float x, float* block) noexcept
{
    const float v = 4.0f * x;
    const float first = pathE(v);
    const float second = pathO(v);
    push(first);
    push(second);
    const float* h = history_ + position_;
    for (int o = 0; o < 4; ++o) {
        float early = 0.0f, late = 0.0f;
        for (int i = 0; i < 10; ++i) {
            early += fir_[o + 4 * i] * h[i + 1];
            late += fir_[o + 4 * i] * h[i];
        }
        block[o] = early;
        block[o + 4] = late;
    }
}

}  // namespace valvora
