// The editor's window-free control logic: dial mouse arithmetic, lit-button
// frame tables and the knob's rotation raster.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <numbers>
#include <numeric>
#include <vector>

#include "editor/controls/DialValue.h"
#include "editor/controls/KnobRaster.h"
#include "editor/controls/LedButtonModel.h"

using valvora::DialValue;
using valvora::KnobRaster;
using valvora::LedButtonModel;

namespace {

DialValue dialAt(int value)
{
    DialValue d;
    d.setValue(value);
    return d;
}

}  // namespace

TEST(DialDrag, draggingUpFortyPixelsFromThirtyGivesFifty)
{
    DialValue d = dialAt(30);
    EXPECT_TRUE(d.press(100, false));
    d.move(60, false);
    EXPECT_EQ(d.value(), 50);
    d.move(120, false);  // back below the anchor: 10 steps down
    EXPECT_EQ(d.value(), 20);
}

TEST(DialDrag, dragStopsAtTheEndsOfTheRange)
{
    DialValue d = dialAt(90);
    d.press(10, false);
    d.move(-400, false);
    EXPECT_EQ(d.value(), 100);
    d.move(1000, false);
    EXPECT_EQ(d.value(), 0);
}

TEST(DialDrag, oddPixelPositionsUseTheFloorOfHalfTheSignedPosition)
{
    DialValue d = dialAt(40);
    d.press(-3, false);  // -3 >> 1 is -2: anchor 38
    d.move(-4, false);
    EXPECT_EQ(d.value(), 40);
    d.move(-5, false);
    EXPECT_EQ(d.value(), 41);
}

TEST(DialDrag, shiftLetsOnlyMultiplesOfTenThrough)
{
    DialValue d = dialAt(33);
    d.press(0, false);
    for (int y = 0; y >= -60; --y) {
        d.move(y, true);
        EXPECT_TRUE(d.value() == 33 || d.value() % 10 == 0) << "at y " << y << " value " << d.value();
    }
    EXPECT_EQ(d.value(), 60);
}

TEST(DialDrag, ctrlClickCentresWithoutStartingADrag)
{
    DialValue d = dialAt(87);
    EXPECT_FALSE(d.press(20, true));
    EXPECT_EQ(d.value(), 50);
    EXPECT_FALSE(d.dragging());
    d.move(0, false);  // no drag: moving changes nothing
    EXPECT_EQ(d.value(), 50);
}

TEST(DialDrag, movingWithoutAPressOrAfterTheReleaseChangesNothing)
{
    DialValue d = dialAt(25);
    d.move(-100, false);
    EXPECT_EQ(d.value(), 25);
    d.press(0, false);
    d.release();
    d.move(-100, false);
    EXPECT_EQ(d.value(), 25);
}

TEST(DialValueState, setValueClampsAndTracksPaintAndHostExchange)
{
    DialValue d;
    d.setValue(250);
    EXPECT_EQ(d.value(), 100);
    d.setValue(-7);
    EXPECT_EQ(d.value(), 0);
    d.setValue(42);
    EXPECT_TRUE(d.needsRepaint());
    EXPECT_TRUE(d.movedByUser());
    d.markPainted();
    EXPECT_FALSE(d.needsRepaint());
    EXPECT_EQ(d.lastPainted(), 42);
    EXPECT_TRUE(d.movedByUser());
    d.markExchanged();
    EXPECT_FALSE(d.movedByUser());
}

TEST(LedButtonFrames, twoFramesToggleOnPressAndIgnoreTheRelease)
{
    LedButtonModel b;
    b.configure(8, 2);
    EXPECT_TRUE(b.press());
    EXPECT_EQ(b.state(), 1);
    EXPECT_FALSE(b.release());
    EXPECT_EQ(b.state(), 1);
    EXPECT_TRUE(b.press());
    EXPECT_EQ(b.state(), 0);
    EXPECT_FALSE(b.release());
    EXPECT_EQ(b.state(), 0);
}

TEST(LedButtonFrames, fourFramesShowAHeldFrameAndSettleOnRelease)
{
    LedButtonModel b;
    b.configure(5, 4);
    EXPECT_TRUE(b.press());
    EXPECT_EQ(b.state(), 3);  // turning lit
    EXPECT_TRUE(b.release());
    EXPECT_EQ(b.state(), 1);
    EXPECT_TRUE(b.press());
    EXPECT_EQ(b.state(), 2);  // turning unlit
    EXPECT_TRUE(b.release());
    EXPECT_EQ(b.state(), 0);
}

TEST(LedButtonFrames, oneAndThreeFramesFallBackToTheFirstFrame)
{
    LedButtonModel one;
    one.configure(3, 1);
    EXPECT_FALSE(one.press());
    EXPECT_EQ(one.state(), 0);
    LedButtonModel three;
    three.configure(3, 3);
    three.setState(1);
    EXPECT_TRUE(three.press());
    EXPECT_EQ(three.state(), 0);
}

TEST(LedButtonFrames, frameRequestsOutsideOneToFourAreClamped)
{
    LedButtonModel b;
    b.configure(1, 0);
    EXPECT_EQ(b.frames(), 1);
    b.configure(1, -3);
    EXPECT_EQ(b.frames(), 1);
    b.configure(1, 9);
    EXPECT_EQ(b.frames(), 4);
}

TEST(LedButtonFrames, anIndicatorIgnoresClicksButFollowsSetState)
{
    LedButtonModel lamp;
    lamp.configure(0, 2);
    EXPECT_FALSE(lamp.press());
    EXPECT_FALSE(lamp.release());
    EXPECT_EQ(lamp.state(), 0);
    lamp.setState(1);
    EXPECT_EQ(lamp.state(), 1);
}

TEST(LedButtonFrames, setStateKeepsOnlyTheLitBitAndAFourFrameHeldBit)
{
    LedButtonModel two;
    two.configure(1, 2);
    two.setState(3);
    EXPECT_EQ(two.state(), 1);
    LedButtonModel four;
    four.configure(1, 4);
    four.press();  // held, turning lit: 3
    four.setState(0);
    EXPECT_EQ(four.state(), 2);
}

// ---------------------------------------------------------------- raster

namespace {

constexpr int kSize = 57;
constexpr float kCx = 27.5f;
constexpr float kCy = 28.0f;

struct Buffers {
    std::vector<std::uint8_t> pristine = std::vector<std::uint8_t>(kSize * kSize * 4, 0);
    std::vector<std::uint8_t> overlay = std::vector<std::uint8_t>(kSize * kSize * 4, 0);
    std::vector<std::uint8_t> work = std::vector<std::uint8_t>(kSize * kSize * 4, 0);

    std::uint8_t* px(std::vector<std::uint8_t>& b, int x, int y) { return &b[(y * kSize + x) * 4]; }
    void dot(int x, int y, std::uint8_t alpha) { px(overlay, x, y)[3] = alpha; }
    void render(const KnobRaster& r, int value)
    {
        r.render(pristine.data(), overlay.data(), work.data(), kSize, kSize, kCx, kCy, value);
    }
    long blueSum()
    {
        long s = 0;
        for (std::size_t i = 0; i < work.size(); i += 4) s += work[i];
        return s;
    }
    // Light-weighted centre of the added brightness.
    void centroid(double& x, double& y)
    {
        double sw = 0, sx = 0, sy = 0;
        for (int i = 0; i < kSize; ++i)
            for (int j = 0; j < kSize; ++j) {
                const double w = px(work, j, i)[0];
                sw += w, sx += w * j, sy += w * i;
            }
        x = sx / sw, y = sy / sw;
    }
};

}  // namespace

TEST(KnobAngles, tableRunsFromMinusToPlusOneHundredFiftyDegrees)
{
    const KnobRaster r;
    const double rad150 = 150.0 * std::numbers::pi / 180.0;
    EXPECT_NEAR(r.cosine(0), std::cos(-rad150), 1e-6);
    EXPECT_NEAR(r.sine(0), std::sin(-rad150), 1e-6);
    EXPECT_NEAR(r.cosine(100), std::cos(rad150), 1e-6);
    EXPECT_NEAR(r.sine(100), std::sin(rad150), 1e-6);
    EXPECT_EQ(r.cosine(50), 1.0f);
    EXPECT_EQ(r.sine(50), 0.0f);
    for (int v = 1; v <= 100; ++v)  // three degrees per step
        EXPECT_NEAR(std::atan2(r.sine(v), r.cosine(v)) - std::atan2(r.sine(v - 1), r.cosine(v - 1)), 0.0523599,
                    1e-5);
}

TEST(KnobRaster, valueFiftyReproducesTheStoredOverlay)
{
    Buffers b;
    for (int i = 0; i < kSize; ++i)
        for (int j = 0; j < kSize; ++j) {
            std::uint8_t* p = b.px(b.pristine, j, i);
            p[0] = 20, p[1] = 30, p[2] = 40, p[3] = 255;
            b.dot(j, i, static_cast<std::uint8_t>((i * 7 + j * 13) % 256));
        }
    KnobRaster r;
    b.render(r, 50);
    for (int i = 0; i < kSize; ++i)
        for (int j = 0; j < kSize; ++j) {
            const int a = b.px(b.overlay, j, i)[3];
            const std::uint8_t* w = b.px(b.work, j, i);
            if (a > 1) {
                const int g = std::min(255, a + 20);
                ASSERT_EQ(w[0], g);
                ASSERT_EQ(w[1], g);
                ASSERT_EQ(w[2], g);
            } else {  // alpha 0 and 1 add nothing, not even the grey-out
                ASSERT_EQ(w[0], 20);
                ASSERT_EQ(w[1], 30);
                ASSERT_EQ(w[2], 40);
            }
            ASSERT_EQ(w[3], 255);
        }
}

TEST(KnobRaster, totalLightIsConservedAwayFromTheEdges)
{
    const KnobRaster r;
    for (int value : {0, 13, 37, 64, 99, 100}) {
        Buffers b;
        // A ring of separate dots, well inside the knob so every target pixel
        // gets one dot's share: truncation costs at most one per pixel.
        long total = 0;
        for (int k = 0; k < 12; ++k) {
            const double phi = k * std::numbers::pi / 6;
            b.dot(static_cast<int>(kCx + 18 * std::sin(phi)), static_cast<int>(kCy - 18 * std::cos(phi)), 200);
            total += 200;
        }
        b.render(r, value);
        EXPECT_LE(b.blueSum(), total) << value;
        EXPECT_GE(b.blueSum(), total - 12 * 4) << value;
    }
}

TEST(KnobRaster, valueZeroTurnsTheScaleAnticlockwiseAndHundredClockwise)
{
    const KnobRaster r;
    // A dot straight above the centre, 20 pixels out (where "5" sits).
    Buffers zero;
    zero.dot(27, 8, 255);
    zero.render(r, 0);
    double x, y;
    zero.centroid(x, y);
    // 150 degrees anticlockwise on screen: down and to the left; the light's
    // centre is where the rotation puts the dot.
    const double c = std::cos(-2.6179938), s = std::sin(-2.6179938);
    EXPECT_NEAR(x, kCx + c * (27 - kCx) - s * (8 - kCy), 0.3);
    EXPECT_NEAR(y, kCy + c * (8 - kCy) + s * (27 - kCx), 0.3);
    EXPECT_LT(x, kCx - 8);
    EXPECT_GT(y, kCy + 15);

    Buffers hundred;
    hundred.dot(27, 8, 255);
    hundred.render(r, 100);
    hundred.centroid(x, y);
    EXPECT_GT(x, kCx + 8);
    EXPECT_GT(y, kCy + 15);
}

TEST(KnobRaster, pixelsLandingOutsideArePinnedToTheEdge)
{
    const KnobRaster r;
    Buffers b;
    b.dot(0, 0, 255);  // the corner turns out of the buffer at most angles
    b.dot(56, 56, 255);
    for (int v : {0, 25, 75, 100}) {
        b.render(r, v);  // must stay inside the buffers (checked by ASan builds)
        EXPECT_GT(b.blueSum(), 0) << v;
    }
}

TEST(KnobRaster, brightnessSaturatesAtWhite)
{
    const KnobRaster r;
    Buffers b;
    std::uint8_t* p = b.px(b.pristine, 27, 28);
    p[0] = 250;
    b.dot(27, 28, 255);
    b.render(r, 50);
    EXPECT_EQ(b.px(b.work, 27, 28)[0], 255);
    EXPECT_EQ(b.px(b.work, 27, 28)[2], 255);
}
