#include "convolution/RealFft.h"

#include <new>

#include "convolution/FftPlan.h"

namespace valvora {

namespace {

template <int N>
class SizedRealFft final : public RealFft {
public:
    SizedRealFft() : plan_(N) {}
    void forward(const float* in, float* out) noexcept override { plan_.forward(in, out); }
    void inverse(const float* in, float* out) noexcept override { plan_.inverse(in, out); }
    void scale(float* data) const noexcept override
    {
        // 1/N is a power of two, so the product is exact (barring underflow).
        constexpr float factor = 1.0f / N;
        for (int i = 0; i < N; ++i) data[i] *= factor;
    }
    int size() const noexcept override { return N; }
    FftPlan& plan() noexcept override { return plan_; }

private:
    FftPlan plan_;
};

}  // namespace

std::unique_ptr<RealFft> RealFft::create(int size)
{
    switch (size) {
        case 128:
            return std::make_unique<SizedRealFft<128>>();
        case 256:
            return std::make_unique<SizedRealFft<256>>();
        case 512:
            return std::make_unique<SizedRealFft<512>>();
        case 1024:
            return std::make_unique<SizedRealFft<1024>>();
        case 2048:
            return std::make_unique<SizedRealFft<2048>>();
        case 4096:
            return std::make_unique<SizedRealFft<4096>>();
        case 8192:
            return std::make_unique<SizedRealFft<8192>>();
        case 16384:
            return std::make_unique<SizedRealFft<16384>>();
        default:
            return nullptr;
    }
}

std::unique_ptr<RealFft> RealFft::require(int size)
{
    auto fft = create(size);
    if (!fft) throw std::bad_alloc();
    return fft;
}

}  // namespace valvora
