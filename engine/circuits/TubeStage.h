#pragma once
// One triode gain stage with its cathode feedback network: a smoothly
// saturating curve inside a delay-free loop closed by a second-order network.
// Every sample the loop equation y = f·shape(k·(v + bias − dd·y)) is solved
// exactly by a piecewise rational-quadratic closed form, without iteration.

#include <atomic>
#include <cmath>
#include <cstdint>

#include "engine/circuits/NonlinearElement.h"
#include "engine/circuits/StateSpace.h"

namespace valvora {

class TubeStage : public NonlinearElement {
public:
    enum class Configuration { Normal, Drive };
    using Model = ContinuousModel<2>;

    // Use counters of the solver's five branches, shared by every stage of
    // the process: lower larger root, lower smaller root (unexpected), upper
    // smaller root, upper larger root (unexpected), linear section. Relaxed
    // and unsynchronised, so concurrent instances may lose a count; nothing
    // in the product reads them.
    static std::atomic<std::uint32_t> k_count[5];

    // Host thread (engine construction). Computes its network for 44100 Hz.
    explicit TubeStage(Configuration configuration) noexcept;
    ~TubeStage() override = default;

    // Audio thread (engine update): period is the preamp's, networkValue the
    // tapered Normal Volume (normal stage) or Gain (drive stage). Always
    // recomputes the network; the curve and the states are left alone.
    void update(double period, double networkValue) noexcept;

    // Audio thread (engine setter): the tube-mode voicing of the curve.
    void setVoicing(bool on) noexcept;

    // Audio thread, per sample; channel is 0 or 1.
    void process(double& sample, int channel) noexcept
    {
        const ColumnVector<2>& x = network_.state[channel];
        const double v = sample - (network_.cd(0) * x(0) + network_.cd(1) * x(1));
        // The exact loop solution lies strictly inside ±f; rounding in the
        // saturated closed forms may step a hair outside, never further.
        const double f = outputScale_;
        const double solved = solve(v);
        const double y = solved < -f ? -f : (solved > f ? f : solved);
        network_.advance(y, channel);
        sample = y;
    }

    // Audio thread: one sample of each channel, the same as process() on
    // channel 0 then channel 1. The two loop solutions are independent
    // chains of square roots and divisions that overlap when side by side.
    [[gnu::always_inline]] void processPair(double& left, double& right) noexcept
    {
        HeldStates held = hold();
        processPair(left, right, held);
        release(held);
    }

    // processPair() for a caller that holds both channels' network states
    // across a run of samples (see DiscreteModel::holdPairs): the same
    // arithmetic, without storing and reloading the states between samples.
    struct HeldStates {
        __m128d x[2];
    };
    HeldStates hold() const noexcept
    {
        HeldStates held;
        network_.holdPairs(held.x);
        return held;
    }
    void release(const HeldStates& held) noexcept { network_.releasePairs(held.x); }
    [[gnu::always_inline]] void processPair(double& left, double& right, HeldStates& held) noexcept
    {
        const __m128d feedback = _mm_add_pd(_mm_mul_pd(_mm_set1_pd(network_.cd(0)), held.x[0]),
                                            _mm_mul_pd(_mm_set1_pd(network_.cd(1)), held.x[1]));
        const __m128d v = _mm_sub_pd(_mm_set_pd(right, left), feedback);
        const __m128d f = _mm_set1_pd(outputScale_);
        // max(-f, min(f, y)) is exactly y < -f ? -f : (y > f ? f : y).
        const __m128d y = _mm_max_pd(_mm_xor_pd(f, signBit()), _mm_min_pd(f, solvePair(v)));
        left = _mm_cvtsd_f64(y);
        right = _mm_cvtsd_f64(_mm_unpackhi_pd(y, y));
        network_.advanceHeld(held.x, y);
    }

    void advanceState(double output, int channel) noexcept override { network_.advance(output, channel); }
    double linearPrediction(double output, int channel) const noexcept override;
    double loopResidual(double output, double input) const noexcept override;
    double effectiveInput(double input, int channel) const noexcept override;

    // The curve: identity between the knees, rational towards ±1 outside.
    double shape(double s) const noexcept;

    // Read-only views for tests and tools.
    Configuration configuration() const noexcept { return configuration_; }
    bool voicing() const noexcept { return tubeModeOn_; }
    double kneeLow() const noexcept { return kneeLow_; }
    double kneeHigh() const noexcept { return kneeHigh_; }
    double outputScale() const noexcept { return outputScale_; }
    double inputGain() const noexcept { return inputGain_; }
    double smallSignalGain() const noexcept { return smallSignalGain_; }
    double bias() const noexcept { return bias_; }
    double period() const noexcept { return period_; }
    const Model& continuous() const noexcept { return model_; }
    const DiscreteModel<2>& discrete() const noexcept { return network_; }

private:
    // Beyond this effective input (about 160 dB above any real signal) the
    // quadratics' roots cancel to nothing but rounding; the stage is fully
    // saturated long before, so the drive is held here. A NaN (which the
    // engine never passes) counts as silence rather than poisoning the state.
    static constexpr double driveLimit = 1e8;

    [[gnu::always_inline]] double solve(double v) const noexcept
    {
        if (!(std::fabs(v) <= driveLimit)) v = std::isnan(v) ? 0.0 : std::copysign(driveLimit, v);
        const double f = outputScale_;
        const Loop& c = loop_;
        const double X = (v + bias_) * c.inverseDd;

        double y = X * c.linearSlope;
        if (c.eKneeLow <= X - y && X - y <= c.eKneeHigh) return counted(4, y);

        const double P = c.lowerLinear - X;
        double S = std::sqrt(4.0 * f * (c.eKneeLowSquared + X) + P * P);
        y = (S - P) / 2.0;
        if (!(X - y >= c.eKneeLow)) return counted(0, y);
        y = -(S + P) / 2.0;
        if (X - y < c.eKneeLow) return unexpected(1, y);

        const double Q = c.upperLinear + X;
        S = std::sqrt(4.0 * f * (c.eKneeHighSquared - X) + Q * Q);
        y = (S + Q) / 2.0;
        if (X - y > c.eKneeHigh) return unexpected(3, y);
        return counted(2, (Q - S) / 2.0);
    }

    static __m128d signBit() noexcept { return _mm_set1_pd(-0.0); }

    // solve() for both channels side by side: every candidate root of both
    // sections is computed in both lanes (the same expressions, so the same
    // values), then each lane keeps the one its branch order selects. Both
    // lanes linear, the common case of a clean signal, skips the roots.
    [[gnu::always_inline]] __m128d solvePair(__m128d v) const noexcept
    {
        const __m128d limit = _mm_set1_pd(driveLimit);
        if (_mm_movemask_pd(_mm_cmple_pd(_mm_andnot_pd(signBit(), v), limit)) != 3) v = limitPair(v);
        const Loop& c = loop_;
        const __m128d X = _mm_mul_pd(_mm_add_pd(v, _mm_set1_pd(bias_)), _mm_set1_pd(c.inverseDd));
        const __m128d eKneeLow = _mm_set1_pd(c.eKneeLow), eKneeHigh = _mm_set1_pd(c.eKneeHigh);

        const __m128d linear = _mm_mul_pd(X, _mm_set1_pd(c.linearSlope));
        const __m128d linearIn = _mm_sub_pd(X, linear);
        const __m128d isLinear = _mm_and_pd(_mm_cmple_pd(eKneeLow, linearIn), _mm_cmple_pd(linearIn, eKneeHigh));
        const int linearLanes = _mm_movemask_pd(isLinear);
        if (linearLanes == 3) {
            countPair(4, 4);
            return linear;
        }

        const __m128d fourF = _mm_set1_pd(4.0 * outputScale_);
        const __m128d half = _mm_set1_pd(0.5);
        const __m128d P = _mm_sub_pd(_mm_set1_pd(c.lowerLinear), X);
        const __m128d lowerS = _mm_sqrt_pd(
            _mm_add_pd(_mm_mul_pd(fourF, _mm_add_pd(_mm_set1_pd(c.eKneeLowSquared), X)), _mm_mul_pd(P, P)));
        const __m128d lowerLarger = _mm_mul_pd(_mm_sub_pd(lowerS, P), half);
        const __m128d isLowerLarger = _mm_cmpnge_pd(_mm_sub_pd(X, lowerLarger), eKneeLow);
        const __m128d lowerSmaller = _mm_mul_pd(_mm_xor_pd(_mm_add_pd(lowerS, P), signBit()), half);
        const __m128d isLowerSmaller = _mm_cmplt_pd(_mm_sub_pd(X, lowerSmaller), eKneeLow);
        const __m128d Q = _mm_add_pd(_mm_set1_pd(c.upperLinear), X);
        const __m128d upperS = _mm_sqrt_pd(
            _mm_add_pd(_mm_mul_pd(fourF, _mm_sub_pd(_mm_set1_pd(c.eKneeHighSquared), X)), _mm_mul_pd(Q, Q)));
        const __m128d upperLarger = _mm_mul_pd(_mm_add_pd(upperS, Q), half);
        const __m128d isUpperLarger = _mm_cmpgt_pd(_mm_sub_pd(X, upperLarger), eKneeHigh);
        const __m128d upperSmaller = _mm_mul_pd(_mm_sub_pd(Q, upperS), half);

        // Later choices first, each earlier one overriding where it holds.
        __m128d y = select(isUpperLarger, upperLarger, upperSmaller);
        y = select(isLowerSmaller, lowerSmaller, y);
        y = select(isLowerLarger, lowerLarger, y);
        y = select(isLinear, linear, y);
        const int lanes[4] = {_mm_movemask_pd(isLowerLarger), _mm_movemask_pd(isLowerSmaller),
                              _mm_movemask_pd(isUpperLarger), linearLanes};
        const int left = branchOf(lanes, 1), right = branchOf(lanes, 2);
        if (((left | right) & 1) == 0) {
            countPair(left, right);
            return y;
        }
        return reportUnexpected(left, right, y);
    }

    static __m128d select(__m128d mask, __m128d a, __m128d b) noexcept
    {
        return _mm_or_pd(_mm_and_pd(mask, a), _mm_andnot_pd(mask, b));
    }
    // The branch solve() takes in the lane with bit `lane`, from the masks of
    // its tests: lower larger, lower smaller, upper larger, linear.
    static int branchOf(const int masks[4], int lane) noexcept
    {
        if (masks[3] & lane) return 4;
        if (masks[0] & lane) return 0;
        if (masks[1] & lane) return 1;
        return masks[2] & lane ? 3 : 2;
    }
    static void countPair(int left, int right) noexcept
    {
        counted(left, 0.0);
        counted(right, 0.0);
    }
    static __m128d limitPair(__m128d v) noexcept;
    static __m128d reportUnexpected(int left, int right, __m128d y) noexcept;

    static double counted(int branch, double y) noexcept
    {
        k_count[branch].store(k_count[branch].load(std::memory_order_relaxed) + 1, std::memory_order_relaxed);
        return y;
    }
    static double unexpected(int branch, double y) noexcept;

    void setKnees(double low, double high) noexcept;
    void refreshLoop() noexcept;

    // Terms of the loop solution that change only with the network or the
    // curve, with E = 1/(dd·k) the curve's input scale seen from the output.
    // Each is the same expression, in the same order, the per-sample solve
    // would otherwise evaluate, except the two reciprocals below, which
    // change a result by at most a rounding step.
    struct Loop {
        double fPlusE = 1.0;
        // Products instead of the two divisions (X = (v + bias)/dd and
        // y = f·X/(f + E)): both sit on the sample-to-sample dependency
        // chain, and a division takes several times as long as a product.
        double inverseDd = 1.0;
        double linearSlope = 0.0;  // f/(f + E)
        double eKneeLow = 0.0, eKneeHigh = 0.0;
        double eKneeLowSquared = 0.0, eKneeHighSquared = 0.0;
        double lowerLinear = 0.0;  // E·(1 + 2·kneeLow) + f
        double upperLinear = 0.0;  // E·(1 − 2·kneeHigh) + f
    };
    void setSwingAndGain(double swing, double gain) noexcept;

    Configuration configuration_;
    double kneeLow_ = 0.0, kneeHigh_ = 0.0;
    double kneeLowSquared_ = 0.0, onePlusTwiceKneeLow_ = 1.0;
    double kneeHighSquared_ = 0.0, oneMinusTwiceKneeHigh_ = 1.0;
    double swingLow_ = 0.0, swingHigh_ = 0.0;
    double smallSignalGain_ = 0.0;
    double outputScale_ = 0.0;
    double inputGain_ = 0.0;
    double bias_ = 0.0;
    double period_ = 0.0;
    Model model_;
    DiscreteModel<2> network_;
    Loop loop_;
    bool tubeModeOn_ = false;
};

}  // namespace valvora
