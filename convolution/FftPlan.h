#pragma once
// The tables and the algorithm behind every RealFft size: a real transform of
// N points computed as a complex transform of N/2 points on split real and
// imaginary arrays (radix-4 decimation in frequency, SSE-width vectors, or
// AVX2-width ones for the radix-4 passes where the processor has them), then
// one pass that untangles the even/odd halves into the real spectrum, reading
// the stages' digit-reversed order through a table. The split arrays are
// exactly the spectrum layout the convolvers use.

#include <memory>

#include "convolution/AlignedBuffer.h"
#include "convolution/PackedProduct.h"

namespace valvora {

class FftPlan {
public:
    // Host thread: builds the tables for N points (a power of two, 128 or
    // more). The radix-4 passes use eight-float vectors where the processor
    // has AVX2 and FMA, unless allowWide is false. Throws std::bad_alloc.
    explicit FftPlan(int size, bool allowWide = true);

    int size() const noexcept { return n_; }
    // Any thread that owns the plan; in and out may be the same buffer.
    void forward(const float* in, float* out) noexcept;
    void inverse(const float* in, float* out) noexcept;

    // The convolvers' block: forwardPacked, then one product, then
    // inversePacked, with the spectrum kept in the passes' own order in
    // between (see PackedProduct). Packed buffers hold packedFloats() floats.
    int packedFloats() const noexcept { return n_ + workPadding; }
    // Load time: a spectrum in the RealFft layout into a packed buffer.
    void packSpectrum(const float* spectrum, float* packed) const noexcept
    {
        product_->pack(spectrum, packed);
    }
    void forwardPacked(const float* in) noexcept;
    // kept: see PackedProduct::multiply.
    void multiplyPacked(const float* h, float* kept = nullptr) noexcept;
    void multiplyAddPacked(float* now, const float* before, const float* hNow, const float* hBefore) noexcept;
    // The accumulating product from a `now` spectrum kept by another plan of
    // this size from the same window, without a forward transform.
    void multiplyAddKept(const float* now, const float* before, const float* hNow,
                         const float* hBefore) noexcept;
    // N times the product's signal into out (N floats).
    void inversePacked(float* out) noexcept;

private:
    struct Stage {
        int radix = 0;
        int quarter = 0;  // distance between the butterfly's inputs
        const float* twiddles = nullptr;
    };

    void buildStages();
    void buildOrder();
    void runStagesForward() noexcept;
    void runStagesInverse() noexcept;
    void runStage(int stage, float* re, float* im, int length, bool inverse) const noexcept;
    // Complex points per block that stay in the first-level cache (4 KiB).
    static constexpr int cacheBlock = 512;
    int cachedBlock(int stage) const noexcept;
    void untangle(float* spectrum) noexcept;
    void tangle(const float* spectrum, float* scratch) noexcept;
    template <typename Bins>
    void tangleByPairs(const float* spectrum, const Bins& bins) noexcept;
    // Up to this many complex points, scattered stores stay in the cache.
    static constexpr int scatterLimit = 2048;
    // The imaginary half of the work buffer sits a little past M floats so
    // that real and imaginary streams never share 4 KiB address aliases.
    static constexpr int workPadding = 16;
    int imaginaryOffset() const noexcept { return m_ + workPadding; }

    bool wide_;
    int n_;
    int m_;  // complex points
    AlignedBuffer<float> work_;
    AlignedBuffer<float> stageTwiddles_;
    AlignedBuffer<float> realCos_;
    AlignedBuffer<float> realSin_;
    AlignedBuffer<int> positionOf_;   // where frequency k sits after the stages
    AlignedBuffer<int> frequencyAt_;  // the inverse of positionOf_
    Stage stages_[16];
    int stageCount_ = 0;
    std::unique_ptr<PackedProduct> product_;
};

}  // namespace valvora
