#pragma once
// Two cascaded common-cathode triode stages for the drive channel's tube mode.
// The circuit (plate resistor to the supply, plate load, bypassed cathode
// resistor, grid network with grid current) is solved by Newton's method only
// when the model is rebuilt, to fill three tables; per sample each stage is
// read from them by Catmull-Rom interpolation, carrying its cathode voltage
// as state. One model serves every stage of both channels: each stage has its
// own state record, all share the tables.

#include <emmintrin.h>

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

    // What the tables are a function of, and nothing else.
    struct Circuit {
        unsigned tubeType = 0;
        double supply = 350.0;
        double cathodeCapacitance = 6.8e-7;
        double period = 1.0 / 48000.0;
        bool operator==(const Circuit&) const = default;
    };
    struct Tables;

    // Any thread: builds the tables for `circuit` into `out`, exactly as a
    // rebuild does (the same arithmetic in the same order, so the same bits).
    // Heavy: a few thousand Newton solves. Allocates nothing.
    static void build(Tables& out, const Circuit& circuit) noexcept;

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

    // Audio thread: reads the tables from `prepared` from now on, when they
    // were built for this model's circuit at some period (which becomes the
    // model's); returns false and changes nothing otherwise. `prepared`
    // must stay unchanged for as long as the model reads it, that is until
    // the next setPeriod() or use(). A pointer swap: no solve runs.
    bool use(const Tables& prepared) noexcept;
    // The circuit at `period`: what a rebuild for that period would build.
    Circuit circuitAt(double period) const noexcept;
    // True when the tables read now are the ones for `period`.
    bool readsTablesFor(double period) const noexcept;

    // Audio thread (engine update): every stage's cathode to the rest voltage
    // of the current supply range and tube type.
    void resetCathodes() noexcept;

    // Audio thread, per sample. x in volts; stage in [0, stateCount). Returns
    // the plate voltage minus removeRest times the rest plate voltage.
    // The two table positions and the two plate splines are computed side by
    // side in SSE2 pairs: this runs 16 times per stereo frame at 8x and the
    // instruction count is what limits it.
    double process(double x, int stage, int removeRest) noexcept { return process(x, stage, removeRest, dither); }

    // The same with the dither drawn from `noise` instead of the model's own
    // generator, for callers that interleave stages of both channels and
    // must keep each channel's draws in their one-after-the-other order.
    double process(double x, int stage, int removeRest, DitherNoise& noise) noexcept
    {
        if (x != x) x = 0.0;  // NaN counts as silence; infinities clamp below
        TriodeState& s = states[stage];
        double plate = s.plate, cathode = s.cathode;
        const double y = processHeld(x, noise, plate, cathode, removeRest);
        s.plate = plate;
        s.cathode = cathode;
        return y;
    }

    // The same for a caller that holds the stage's plate and cathode
    // voltages itself across a run of samples (in registers rather than
    // stored and reloaded between samples) and hands them back with
    // storeVoltages() at the end of the run. x must not be NaN (the caller's
    // stages never give one); infinities clamp as above.
    [[gnu::always_inline]] double processHeld(double x, DitherNoise& noise, double& plate, double& cathode,
                                              int removeRest) const noexcept
    {
        const double vin = x + noise.next();
        const double vk0 = cathode;
        // Positions in table steps, (input + 300) / 600 of the way along 1024:
        // lane 0 for the plate tables, lane 1 for the cathode table, each with
        // its own cathode shift. Clamped to the table (a NaN reads 0).
        const double along = (vin + inputRange) * stepsPerVolt;
        const Tables& t = *tables_;
        __m128d at = _mm_add_pd(_mm_set1_pd(along), _mm_mul_pd(_mm_set1_pd(vk0), t.shiftSteps));
        at = _mm_min_pd(_mm_max_pd(at, _mm_setzero_pd()), _mm_set1_pd(tableSize - 1));
        const __m128i j = _mm_cvttpd_epi32(at);
        const __m128d f = _mm_sub_pd(at, _mm_cvtepi32_pd(j));

        // Both plate tables at the plate position, high in lane 0, low in 1,
        // blended by the cathode voltage (w is not clamped: cathode voltages
        // beyond ±15 V extrapolate).
        // The positions are clamped non-negative: as unsigned they index
        // without a sign extension.
        const PlateSegment& ps = t.plateSegments[static_cast<unsigned>(_mm_cvtsi128_si32(j))];
        const __m128d fp = _mm_unpacklo_pd(f, f);
        const __m128d plates =
            spline(_mm_load_pd(ps.p1), _mm_load_pd(ps.c), _mm_load_pd(ps.b), _mm_load_pd(ps.a), fp);
        const double w = (15.0 - vk0) * (1.0 / 30.0);
        const __m128d shares = _mm_mul_pd(plates, _mm_set_pd(w, 1.0 - w));
        const double vp = _mm_cvtsd_f64(_mm_add_sd(shares, _mm_unpackhi_pd(shares, shares)));
        plate = vp;

        const Segment& cs = t.cathodeSegments[static_cast<unsigned>(_mm_cvtsi128_si32(_mm_shuffle_epi32(j, 1)))];
        const double fc = _mm_cvtsd_f64(_mm_unpackhi_pd(f, f));
        cathode = spline(cs, fc) + vk0 * t.cathodeKeep;
        return vp - removeRest * t.restPlate;
    }

    void storeVoltages(int stage, double plate, double cathode) noexcept
    {
        states[stage].plate = plate;
        states[stage].cathode = cathode;
    }

    // The model's own dither generator, for callers of the overload above.
    DitherNoise& ditherNoise() noexcept { return dither; }

    // Read-only views for tests and tools.
    int stateCount() const noexcept { return count; }
    const TriodeState& state(int stage) const noexcept { return states[stage]; }
    unsigned tubeTypeValue() const noexcept { return tubeType; }
    double supplyValue() const noexcept { return supply; }
    double periodValue() const noexcept { return period; }
    double inputShiftValue() const noexcept { return tables_->inputShift; }
    double cathodeDecayValue() const noexcept { return tables_->cathodeDecay; }
    double cathodeInputShiftValue() const noexcept { return tables_->cathodeInputShift; }
    double restPlateValue() const noexcept { return tables_->restPlate; }
    double plateTableLowAt(int i) const noexcept { return tables_->plateTableLow[i + 1]; }
    double plateTableHighAt(int i) const noexcept { return tables_->plateTableHigh[i + 1]; }
    double cathodeTableAt(int i) const noexcept { return tables_->cathodeTable[i + 1]; }
    // The tables read now (tests compare prepared and rebuilt ones with it).
    const Tables& tables() const noexcept { return *tables_; }
    // 0 below 200 V, 1 below 300 V, 2 from 300 V.
    int supplyRange() const noexcept;
    double restCathodeVoltage() const noexcept;
    // False when the last rebuild found no threshold crossing and fell back
    // to no input shift.
    bool thresholdsFound() const noexcept { return tables_->crossingsFound; }

    // A table with one copy of its first entry in front and two of its last
    // behind, so the spline's neighbours never need a bounds test.
    using Table = std::array<double, tableSize + 3>;

    // Catmull-Rom through the entries j - 1 .. j + 2 around one table step,
    // as polynomial coefficients in the fraction f, computed once per rebuild.
    // Evaluated as (p1 + c·f) + (b + a·f)·f², a shorter dependent chain than
    // the nested form.
    struct Segment {
        double p1, c, b, a;
    };
    // Both plate tables at one position in one cache line: index 0 of each
    // pair is plateTableHigh, index 1 plateTableLow.
    struct alignas(16) PlateSegment {
        double p1[2], c[2], b[2], a[2];
    };

    // Everything a rebuild computes: a function of the circuit alone.
    struct Tables {
        Circuit circuit{};
        bool valid = false;  // false until built
        Table plateTableLow{};
        Table plateTableHigh{};
        Table cathodeTable{};
        double inputShift = 0.0;
        double cathodeDecay = 0.0;
        double cathodeInputShift = 0.0;
        double restPlate = 0.0;
        bool crossingsFound = true;
        // Per-sample forms of the above: shifts in table steps per cathode volt,
        // the share of the cathode voltage one step keeps, spline coefficients.
        // Lane 0: minus the plate tables' shift, lane 1: the cathode table's.
        __m128d shiftSteps = _mm_setzero_pd();
        double cathodeKeep = 1.0;
        std::array<PlateSegment, tableSize> plateSegments{};
        std::array<Segment, tableSize> cathodeSegments{};
    };

private:
    static constexpr double stepsPerVolt = (tableSize - 1) / (2.0 * inputRange);

    static double spline(const Segment& s, double f) noexcept
    {
        const double f2 = f * f;
        return (s.p1 + s.c * f) + (s.b + s.a * f) * f2;
    }
    static __m128d spline(__m128d p1, __m128d c, __m128d b, __m128d a, __m128d f) noexcept
    {
        const __m128d f2 = _mm_mul_pd(f, f);
        return _mm_add_pd(_mm_add_pd(p1, _mm_mul_pd(c, f)), _mm_mul_pd(_mm_add_pd(b, _mm_mul_pd(a, f)), f2));
    }
    static Segment segment(const Table& t, int j) noexcept;

    // Catmull-Rom on a table over u in [0, 1] straight from the entries;
    // u is clamped (NaN reads 0). Used off the audio path.
    static double interpolate(const Table& t, double u) noexcept;

    void rebuild() noexcept;
    void resetState(TriodeState& s) const noexcept;
    static void resetState(TriodeState& s, double supply) noexcept;

    std::unique_ptr<TriodeState[]> states;
    int count;
    unsigned tubeType = 0;
    double supply = 350.0;
    double cathodeCapacitance = 6.8e-7;
    double period = 1.0 / 48000.0;

    // The model's own tables, which rebuild() fills, and the ones read per
    // sample: these or a prepared set handed over by use().
    std::unique_ptr<Tables> ownTables_;
    const Tables* tables_ = nullptr;

    DitherNoise dither;
};

}  // namespace valvora
