#pragma once
// Two cascaded common-cathode triode stages for the drive channel's tube mode.
// The circuit (plate resistor to the supply, plate load, bypassed cathode
// resistor, grid network with grid current) is solved by Newton's method only
// when the model is rebuilt, to fill three tables; per sample each stage is
// read from them by Catmull-Rom interpolation, carrying its cathode voltage
// as state. One model serves every stage of both channels: each stage has its
// own state record, all share the tables.

#include <array>
#include <memory>

#include "engine/DitherNoise.h"

namespace valvora {

struct TriodeState {
    double plate = 0.0;    // Vp, volts
    double grid = 0.0;     // Vg, volts
    double cathode = 0.0;  // Vk, volts
};

class TriodeModel {
public:
    static constexpr int tableSize = 1025;
    static constexpr double inputRange = 300.0;  // tables cover -300 V to +300 V
    static constexpr int tubeTypeCount = 3;

    // Host thread (engine construction): allocates the states and builds the
    // tables for tube type 0, Ck = 6.8e-7 F and T = 1/48000 s.
    // Throws std::bad_alloc when memory runs out.
    explicit TriodeModel(int stateCount);
    TriodeModel(const TriodeModel&) = delete;
    TriodeModel& operator=(const TriodeModel&) = delete;

    // Audio thread (engine setup). Plain stores that take effect at the next
    // rebuild. Indexes above 2 are ignored; so are capacitances and supplies
    // that would make the circuit meaningless (not finite, Ck not positive).
    void setTubeType(unsigned index) noexcept;
    void setCathodeCapacitance(double farads) noexcept;
    void setSupply(double volts) noexcept;

    // Audio thread (engine update): stores T and rebuilds, always. Heavy (a few
    // thousand Newton solves), never allocates. A period that is not finite
    // and positive keeps the previous one.
    void setPeriod(double period) noexcept;

    // Audio thread (engine update): every stage's cathode to the rest voltage
    // of the current supply range and tube type.
    void resetCathodes() noexcept;

    // Audio thread, per sample. x in volts; stage in [0, stateCount). Returns
    // the plate voltage minus removeRest times the rest plate voltage.
    double process(double x, int stage, int removeRest) noexcept
    {
        if (x != x) x = 0.0;  // NaN counts as silence; infinities clamp below
        const double vin = x + dither.next();
        TriodeState& s = states[stage];
        const double vk0 = s.cathode;
        const double u = (vin - vk0 * inputShift + inputRange) / (2.0 * inputRange);
        const double w = (15.0 - vk0) / 30.0;
        // w is not clamped: cathode voltages beyond ±15 V extrapolate.
        const double vp = interpolate(plateTableHigh, u) * (1.0 - w) + interpolate(plateTableLow, u) * w;
        s.plate = vp;
        const double uk = (vin + vk0 * cathodeInputShift + inputRange) / (2.0 * inputRange);
        s.cathode = interpolate(cathodeTable, uk) + vk0 * cathodeDecay + vk0;
        return vp - removeRest * restPlate;
    }

    // Read-only views for tests and tools.
    int stateCount() const noexcept { return count; }
    const TriodeState& state(int stage) const noexcept { return states[stage]; }
    unsigned tubeTypeValue() const noexcept { return tubeType; }
    double supplyValue() const noexcept { return supply; }
    double periodValue() const noexcept { return period; }
    double inputShiftValue() const noexcept { return inputShift; }
    double cathodeDecayValue() const noexcept { return cathodeDecay; }
    double cathodeInputShiftValue() const noexcept { return cathodeInputShift; }
    double restPlateValue() const noexcept { return restPlate; }
    double plateTableLowAt(int i) const noexcept { return plateTableLow[i + 1]; }
    double plateTableHighAt(int i) const noexcept { return plateTableHigh[i + 1]; }
    double cathodeTableAt(int i) const noexcept { return cathodeTable[i + 1]; }
    // 0 below 200 V, 1 below 300 V, 2 from 300 V.
    int supplyRange() const noexcept;
    double restCathodeVoltage() const noexcept;
    // False when the last rebuild found no threshold crossing and fell back
    // to no input shift.
    bool thresholdsFound() const noexcept { return crossingsFound; }

private:
    // A table with one copy of its first entry in front and two of its last
    // behind, so the spline's neighbours never need a bounds test.
    using Table = std::array<double, tableSize + 3>;

    // Catmull-Rom on a table over u in [0, 1]; u is clamped (NaN reads 0).
    static double interpolate(const Table& t, double u) noexcept
    {
        if (!(u > 0.0)) u = 0.0;
        if (u > 1.0) u = 1.0;
        const double p = u * (tableSize - 1);
        const int j = static_cast<int>(p);
        const double f = p - j;
        const double* q = &t[j];  // q[1] is entry j
        if (f <= 0.0) return q[1];
        const double p0 = q[0], p1 = q[1], p2 = q[2], p3 = q[3];
        return p1 + ((((p3 - p0) * 0.5 + (p1 - p2) * 1.5) * f + (p0 - 2.5 * p1 + 2.0 * p2 - 0.5 * p3)) * f +
                     (p2 - p0) * 0.5) *
                        f;
    }

    void rebuild() noexcept;
    void resetState(TriodeState& s) const noexcept;

    std::unique_ptr<TriodeState[]> states;
    int count;
    unsigned tubeType = 0;
    double supply = 350.0;
    double cathodeCapacitance = 6.8e-7;
    double period = 1.0 / 48000.0;

    Table plateTableLow{};
    Table plateTableHigh{};
    Table cathodeTable{};
    double inputShift = 0.0;
    double cathodeDecay = 0.0;
    double cathodeInputShift = 0.0;
    double restPlate = 0.0;
    bool crossingsFound = true;

    DitherNoise dither;
};

}  // namespace valvora
