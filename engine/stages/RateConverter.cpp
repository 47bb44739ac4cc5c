#include "engine/stages/RateConverter.h"

#include "engine/ResamplingCoefficients.h"

namespace valvora {

RateConverter::RateConverter() noexcept
{
    for (int i = 0; i < sections; ++i) {
        coefficients_[i] = _mm_setr_ps(static_cast<float>(resampling::allpassCoefficients[2 * i]),
                                       static_cast<float>(resampling::allpassCoefficients[2 * i + 1]), 0.0f, 0.0f);
        paths_.output[i] = _mm_setzero_ps();
    }
    paths_.input = _mm_setzero_ps();
    for (int k = 0; k < firLength; ++k) fir_[k] = static_cast<float>(resampling::firCoefficients[k]);
}

__m128 RateConverter::runPaths(float xEven, float xOdd) noexcept
{
    __m128 x = _mm_setr_ps(xEven, xOdd, 0.0f, 0.0f);
    __m128 lastInput = paths_.input;
    paths_.input = x;
    for (int i = 0; i < sections; ++i) {
        const __m128 lastOutput = paths_.output[i];
        const __m128 y = _mm_add_ps(_mm_mul_ps(coefficients_[i], _mm_sub_ps(x, lastOutput)), lastInput);
        paths_.output[i] = y;
        lastInput = lastOutput;
        x = y;
    }
    return x;
}

namespace {
float lane0(__m128 v) noexcept { return _mm_cvtss_f32(v); }
float lane1(__m128 v) noexcept { return _mm_cvtss_f32(_mm_shuffle_ps(v, v, _MM_SHUFFLE(1, 1, 1, 1))); }
}  // namespace

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
    const __m128 y = runPaths(block[1], block[0]);
    return (lane0(y) + lane1(y)) * 0.5f;
}

void RateConverter::up2(float x, float* block) noexcept
{
    const __m128 y = runPaths(x, x);
    block[0] = lane0(y);
    block[1] = lane1(y);
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
    const __m128 y = runPaths(b, a);
    return (lane0(y) + lane1(y)) * 0.5f;
}

void RateConverter::up8(float x, float* block) noexcept
{
    const float v = 4.0f * x;
    const __m128 y = runPaths(v, v);
    const float first = lane0(y);
    const float second = lane1(y);
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
