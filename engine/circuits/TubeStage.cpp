#include "engine/circuits/TubeStage.h"

#include "platform/Diagnostics.h"

namespace valvora {

std::atomic<std::uint32_t> TubeStage::k_count[5] = {};

namespace {

constexpr double gridBias = 0.003;
// The curve's output stays this far inside half the supply swing.
constexpr double swingHeadroom = 1.63;
constexpr double defaultPeriod = 1.0 / 44100.0;
constexpr double defaultNetworkValue = 0.1;

struct Voicing {
    double knee;   // symmetric knees ±knee with the voicing off
    double swing;  // symmetric output swing ±swing
    double gain;   // small-signal gain R
};
constexpr Voicing normalOff{0.433003, 13.0, 200000.0};
constexpr Voicing driveOff{0.432831, 15.0, 230000.0};
constexpr double normalSwingOn = 14.25, normalGainOn = 300.0;
constexpr double driveGainOn = 1000.0;
// With the voicing on the linear section moves up: centre = 0.3 − 0.3·w.
constexpr double voicedCentreShift = 0.3;

// Cathode network of the normal channel; the Normal Volume value v sets the
// bypass of the cathode resistor (a11).
constexpr double normalA0 = -1.99799990119756;
constexpr double normalA10 = -1997.99990119756;
constexpr double normalA11Slope = 1997.99990119755;
constexpr double normalA11Offset = 11088.9089921066;
constexpr double normalC = -0.967032919212538;
constexpr double normalD = 0.0329670807874617;

// Network of the drive channel; the Gain value g sets a00.
constexpr double driveA00Slope = 30303.0, driveA00Offset = 1000.0, driveA00Scale = 21.2765957446808;
constexpr double driveCoupling = 644744.680851063;
constexpr double driveReturn = 644.744680851063;

}  // namespace

TubeStage::TubeStage(Configuration configuration) noexcept : configuration_(configuration)
{
    const Voicing& off = configuration == Configuration::Normal ? normalOff : driveOff;
    bias_ = gridBias;
    setSwingAndGain(off.swing, off.gain);
    setKnees(-off.knee, off.knee);
    update(defaultPeriod, defaultNetworkValue);
}

void TubeStage::setSwingAndGain(double swing, double gain) noexcept
{
    swingLow_ = -swing;
    swingHigh_ = swing;
    smallSignalGain_ = gain;
    outputScale_ = (swingHigh_ - swingLow_) / 2.0 - swingHeadroom;
    inputGain_ = smallSignalGain_ / outputScale_;
}

void TubeStage::setKnees(double low, double high) noexcept
{
    kneeLow_ = low;
    kneeHigh_ = high;
    kneeLowSquared_ = low * low;
    onePlusTwiceKneeLow_ = 1.0 + 2.0 * low;
    kneeHighSquared_ = high * high;
    oneMinusTwiceKneeHigh_ = 1.0 - 2.0 * high;
}

void TubeStage::update(double period, double networkValue) noexcept
{
    period_ = period;
    if (configuration_ == Configuration::Normal) {
        const double v = networkValue;
        model_.a << normalA0, normalA0, normalA10, (v * normalA11Slope - normalA11Offset) / (1.0 - v);
        model_.b << normalA0, normalA10;
        model_.c << normalC, normalC;
        model_.d = normalD;
    } else {
        const double g = networkValue;
        model_.a << -(g * driveA00Slope + driveA00Offset) * driveA00Scale / g, driveCoupling, driveReturn,
            -driveReturn;
        model_.b << driveCoupling, -driveReturn;
        model_.c << -1.0, 0.0;
        model_.d = 1.0;
    }
    SquareMatrix<2> resolvent;
    bilinear(model_, period, resolvent, network_);
    refreshLoop();
}

void TubeStage::refreshLoop() noexcept
{
    const double f = outputScale_;
    const double e = 1.0 / (network_.dd * inputGain_);
    loop_.fPlusE = f + e;
    loop_.inverseDd = 1.0 / network_.dd;
    loop_.linearSlope = f / loop_.fPlusE;
    loop_.eKneeLow = e * kneeLow_;
    loop_.eKneeHigh = e * kneeHigh_;
    loop_.eKneeLowSquared = e * kneeLowSquared_;
    loop_.eKneeHighSquared = e * kneeHighSquared_;
    loop_.lowerLinear = e * onePlusTwiceKneeLow_ + f;
    loop_.upperLinear = e * oneMinusTwiceKneeHigh_ + f;
}

void TubeStage::setVoicing(bool on) noexcept
{
    if (on == tubeModeOn_) return;
    tubeModeOn_ = on;
    const double w = (kneeHigh_ - kneeLow_) / 2.0;
    if (on) {
        const double centre = voicedCentreShift - voicedCentreShift * w;
        setKnees(centre - w, centre + w);
    } else {
        setKnees(-w, w);
    }
    if (configuration_ == Configuration::Normal) {
        setSwingAndGain(on ? normalSwingOn : normalOff.swing, on ? normalGainOn : normalOff.gain);
    } else {
        smallSignalGain_ = on ? driveGainOn : driveOff.gain;
        inputGain_ = smallSignalGain_ / outputScale_;
    }
    refreshLoop();
}

double TubeStage::shape(double s) const noexcept
{
    if (s > kneeHigh_) return (s - kneeHighSquared_) / (s + oneMinusTwiceKneeHigh_);
    if (s < kneeLow_) return (s + kneeLowSquared_) / (onePlusTwiceKneeLow_ - s);
    return s;
}

double TubeStage::linearPrediction(double output, int channel) const noexcept
{
    return network_.dd * output + network_.cd.dot(network_.state[channel]);
}

double TubeStage::loopResidual(double output, double input) const noexcept
{
    return output - outputScale_ * shape(inputGain_ * (input + bias_ - network_.dd * output));
}

double TubeStage::effectiveInput(double input, int channel) const noexcept
{
    return input - network_.cd.dot(network_.state[channel]);
}

double TubeStage::unexpected(int branch, double y) noexcept
{
    counted(branch, y);
    platform::trace(branch == 1 ? "k_count[1]" : "k_count[3]", "VLQX");
    return y;
}

__m128d TubeStage::limitPair(__m128d v) noexcept
{
    double lanes[2];
    _mm_storeu_pd(lanes, v);
    for (double& x : lanes)
        if (!(std::fabs(x) <= driveLimit)) x = std::isnan(x) ? 0.0 : std::copysign(driveLimit, x);
    return _mm_loadu_pd(lanes);
}

__m128d TubeStage::reportUnexpected(int left, int right, __m128d y) noexcept
{
    double lanes[2];
    _mm_storeu_pd(lanes, y);
    const int branches[2] = {left, right};
    for (int lane = 0; lane < 2; ++lane) {
        if (branches[lane] & 1)
            unexpected(branches[lane], lanes[lane]);
        else
            counted(branches[lane], lanes[lane]);
    }
    return y;
}

}  // namespace valvora
