// Per-sample cost of each linear stage and the tube stage, and the cost of
// each coefficient recompute. Items are samples (per-sample cases) or
// recomputes; compare the cases within one run.

#include <benchmark/benchmark.h>

#include <cmath>
#include <vector>

#include "engine/circuits/DriveHighPass.h"
#include "engine/circuits/DriveStage.h"
#include "engine/circuits/TubeStage.h"
#include "engine/stages/InputStage.h"
#include "engine/tone/ToneStack.h"

namespace {

using namespace valvora;

constexpr int blockSize = 1024;
constexpr double hostPeriod = 1.0 / 48000.0, preampPeriod = hostPeriod / 8.0;

// A guitar-like test signal: two partials, enough level to reach the tube
// stages' saturated sections part of the time.
std::vector<double> testSignal(double level)
{
    std::vector<double> x(blockSize);
    for (int n = 0; n < blockSize; ++n) x[n] = level * (std::sin(0.031 * n) + 0.3 * std::sin(0.173 * n));
    return x;
}

template <class Stage>
void runBlocks(benchmark::State& state, Stage& stage, double level)
{
    const std::vector<double> input = testSignal(level);
    for (auto _ : state) {
        for (int n = 0; n < blockSize; ++n) {
            double x = input[n];
            stage.process(x, n & 1);
            benchmark::DoNotOptimize(x);
        }
    }
    state.SetItemsProcessed(state.iterations() * blockSize);
}

void InputStageProcess(benchmark::State& state)
{
    InputStage stage;
    stage.setPeriod(hostPeriod);
    runBlocks(state, stage, 0.5);
}

void DriveStageProcess(benchmark::State& state)
{
    DriveStage stage;
    stage.setPeriod(hostPeriod);
    runBlocks(state, stage, 0.5);
}

void DriveHighPassProcess(benchmark::State& state)
{
    DriveHighPass stage;
    stage.update(preampPeriod, 0.4);
    runBlocks(state, stage, 5.0);
}

void TubeStageProcess(benchmark::State& state)
{
    const bool drive = state.range(0) != 0;
    TubeStage stage(drive ? TubeStage::Configuration::Drive : TubeStage::Configuration::Normal);
    stage.update(preampPeriod, drive ? 0.6 : 0.1);
    runBlocks(state, stage, state.range(1) != 0 ? 3.0 : 0.001);  // saturated or linear section
}

void ToneStackProcess(benchmark::State& state)
{
    ToneStack stage(static_cast<int>(state.range(0)));
    stage.setControls(0.4, 0.3, 0.6, preampPeriod);
    runBlocks(state, stage, 0.5);
}

// The tone stack as the 8x preamp runs it: eight samples of both channels
// per call. Items are samples (one channel), as above.
void ToneStackBlockPair(benchmark::State& state)
{
    ToneStack stage(static_cast<int>(state.range(0)));
    stage.setControls(0.4, 0.3, 0.6, preampPeriod);
    const std::vector<double> input = testSignal(0.5);
    constexpr int L = ToneStack::blockLength;
    for (auto _ : state) {
        for (int n = 0; n + 2 * L <= blockSize; n += 2 * L) {
            double left[L], right[L];
            for (int k = 0; k < L; ++k) {
                left[k] = input[n + k];
                right[k] = input[n + L + k];
            }
            stage.processBlockPair(left, right);
            benchmark::DoNotOptimize(left);
            benchmark::DoNotOptimize(right);
        }
    }
    state.SetItemsProcessed(state.iterations() * (blockSize / (2 * L)) * 2 * L);
}

void InputStageSetPeriod(benchmark::State& state)
{
    InputStage stage;
    int i = 0;
    for (auto _ : state) stage.setPeriod(++i & 1 ? 1.0 / 44100.0 : 1.0 / 48000.0);
    state.SetItemsProcessed(state.iterations());
}

void DriveStageSetPeriod(benchmark::State& state)
{
    DriveStage stage;
    int i = 0;
    for (auto _ : state) stage.setPeriod(++i & 1 ? 1.0 / 44100.0 : 1.0 / 48000.0);
    state.SetItemsProcessed(state.iterations());
}

void DriveHighPassUpdate(benchmark::State& state)
{
    DriveHighPass stage;
    int i = 0;
    for (auto _ : state) {
        stage.update(preampPeriod, (++i & 1) ? 0.3 : 0.7);
        benchmark::DoNotOptimize(stage);
    }
    state.SetItemsProcessed(state.iterations());
}

void TubeStageUpdate(benchmark::State& state)
{
    TubeStage stage(state.range(0) ? TubeStage::Configuration::Drive : TubeStage::Configuration::Normal);
    int i = 0;
    for (auto _ : state) {
        stage.update(preampPeriod, (++i & 1) ? 0.3 : 0.7);
        benchmark::DoNotOptimize(stage);
    }
    state.SetItemsProcessed(state.iterations());
}

void ToneStackSetControls(benchmark::State& state)
{
    ToneStack stage(0);
    const bool knobMoves = state.range(0) != 0;
    int i = 0;
    for (auto _ : state) {
        const double knob = knobMoves && (++i & 1) ? 0.3 : 0.7;
        stage.setControls(knob, 0.5, 0.5, preampPeriod);
        benchmark::DoNotOptimize(stage);
    }
    state.SetItemsProcessed(state.iterations());
}

}  // namespace

BENCHMARK(InputStageProcess);
BENCHMARK(DriveStageProcess);
BENCHMARK(DriveHighPassProcess);
BENCHMARK(TubeStageProcess)
    ->ArgNames({"drive", "saturated"})
    ->Args({0, 0})
    ->Args({0, 1})
    ->Args({1, 0})
    ->Args({1, 1});
BENCHMARK(ToneStackProcess)->ArgName("variant")->Arg(0)->Arg(1);
BENCHMARK(ToneStackBlockPair)->ArgName("variant")->Arg(0)->Arg(1);
BENCHMARK(InputStageSetPeriod);
BENCHMARK(DriveStageSetPeriod);
BENCHMARK(DriveHighPassUpdate);
BENCHMARK(TubeStageUpdate)->ArgName("drive")->Arg(0)->Arg(1);
BENCHMARK(ToneStackSetControls)->ArgName("knobMoves")->Arg(0)->Arg(1);

BENCHMARK_MAIN();
