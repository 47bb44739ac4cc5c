// The rate preparation: tables built on another thread are the rebuild's, bit
// for bit, and an engine whose rates were prepared sounds exactly like one
// that rebuilt every table on the audio thread, through Oversample switches
// and rate changes within and across the cabinet families, while it rebuilds
// nothing itself.
#include "engine/RatePreparation.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <thread>
#include <vector>

#include "engine/AmpEngine.h"

namespace {

using valvora::AmpEngine;
using valvora::ChannelSample;
using valvora::RatePreparation;
using valvora::TriodeModel;

bool sameTables(const TriodeModel::Tables& a, const TriodeModel::Tables& b)
{
    auto same = [](const auto& x, const auto& y) { return std::memcmp(&x, &y, sizeof x) == 0; };
    return a.circuit == b.circuit && same(a.plateTableLow, b.plateTableLow) &&
           same(a.plateTableHigh, b.plateTableHigh) && same(a.cathodeTable, b.cathodeTable) &&
           same(a.inputShift, b.inputShift) && same(a.cathodeDecay, b.cathodeDecay) &&
           same(a.cathodeInputShift, b.cathodeInputShift) && same(a.restPlate, b.restPlate) &&
           a.crossingsFound == b.crossingsFound && same(a.shiftSteps, b.shiftSteps) &&
           same(a.cathodeKeep, b.cathodeKeep) && same(a.plateSegments, b.plateSegments) &&
           same(a.cathodeSegments, b.cathodeSegments);
}

TEST(RatePreparation, PreparedTablesAreTheRebuildsBitForBit)
{
    TriodeModel model(4);
    model.setTubeType(2);
    model.setCathodeCapacitance(1.2e-5);
    model.setSupply(350.0);
    RatePreparation preparation(model.circuitAt(0.0));
    for (double rate : {44100.0, 48000.0, 88200.0, 96000.0, 192000.0, 22050.0}) {
        std::thread host([&] { preparation.prepare(rate); });  // another thread, as a host's
        host.join();
        const double period = 1.0 / rate;
        const RatePreparation::Set* set = preparation.find(period);
        ASSERT_NE(set, nullptr) << rate;
        model.setPeriod(period);
        EXPECT_TRUE(sameTables(set->host, model.tables())) << rate;
        model.setPeriod(period * 0.125);
        EXPECT_TRUE(sameTables(set->preamp, model.tables())) << rate;
        EXPECT_TRUE(model.use(set->preamp));
        EXPECT_TRUE(model.readsTablesFor(period * 0.125));
    }
    EXPECT_EQ(preparation.find(1.0 / 12345.0), nullptr);
}

TEST(RatePreparation, AModelTakesOnlyTablesOfItsOwnCircuit)
{
    TriodeModel model(4);
    TriodeModel::Tables other;
    TriodeModel::Circuit c = model.circuitAt(1.0 / 48000.0);
    c.tubeType = 1;
    TriodeModel::build(other, c);
    EXPECT_FALSE(model.use(other));
    TriodeModel::Tables unbuilt;
    EXPECT_FALSE(model.use(unbuilt));
}

// Runs a sequence of settings on an engine; `prepare` decides whether the
// host thread announces each rate first.
std::vector<double> play(AmpEngine& e, bool prepare)
{
    std::vector<double> out;
    e.setDriveChannel(true);
    e.setTubeMode(true);
    e.setReverb(0.5);
    e.setSpeakerSim(true);
    const double rates[] = {44100.0, 48000.0, 96000.0, 88200.0, 44100.0, 192000.0, 48000.0};
    long n = 0;
    for (double rate : rates) {
        if (prepare) {
            std::thread host([&] { e.prepareRate(rate); });
            host.join();
        }
        e.setRate(rate);
        for (int toggle = 0; toggle < 3; ++toggle) {
            e.setOversampling(toggle != 1);
            e.update();
            for (int i = 0; i < 700; ++i, ++n) {
                ChannelSample l, r;
                l.input = 0.4 * std::sin(0.031 * n) * std::exp(-0.0005 * (n % 3000));
                r.input = 0.3 * std::sin(0.017 * n);
                e.processFrame(l, r);
                out.push_back(l.output);
                out.push_back(r.output);
            }
        }
    }
    return out;
}

TEST(RatePreparation, APreparedEngineSoundsExactlyLikeOneThatRebuildsAndRebuildsNothing)
{
    AmpEngine prepared, rebuilding;
    const std::vector<double> a = play(prepared, true);
    const std::vector<double> b = play(rebuilding, false);
    ASSERT_EQ(a.size(), b.size());
    for (std::size_t i = 0; i < a.size(); ++i) ASSERT_EQ(std::memcmp(&a[i], &b[i], sizeof(double)), 0) << i;
    EXPECT_EQ(prepared.updateCounts().triodeRebuilds, 0u);
    EXPECT_GT(rebuilding.updateCounts().triodeRebuilds, 0u) << "the fallback was not exercised";
}

TEST(RatePreparation, PreparingWhileTheAudioThreadSwitchesIsSafe)
{
    // For ThreadSanitizer: the host prepares rate after rate while the audio
    // thread switches Oversample and looks the sets up.
    AmpEngine e;
    std::atomic<bool> done{false};
    std::thread host([&] {
        for (int i = 0; i < 12; ++i) e.prepareRate(i & 1 ? 48000.0 : 44100.0 + i);
        done = true;
    });
    int k = 0;
    while (!done) {
        e.setRate(k & 2 ? 48000.0 : 44100.0);
        e.setOversampling(k & 1);
        e.update();
        ChannelSample l, r;
        for (int i = 0; i < 64; ++i) e.processFrame(l, r);
        ++k;
    }
    host.join();
    SUCCEED();
}

}  // namespace
