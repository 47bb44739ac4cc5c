#include "engine/tone/TriodeModel.h"

#include <algorithm>
#include <cmath>

namespace valvora {

namespace {

// Triode plate-current law parameters: 1/mu, ex, kg1, kp, kvb, grid offset.
struct TubeParameters {
    double inverseMu, ex, kg1, kp, kvb, gridOffset;
};
constexpr TubeParameters tubeParameters[TriodeModel::tubeTypeCount] = {
    {0.01, 1.4, 1060.0, 600.0, 300.0, 0.0},
    {1.0 / 67.49, 1.234, 419.1, 213.96, 300.0, 0.0},
    {1.0 / 21.5, 1.3, 1180.0, 84.0, 300.0, 0.0},
};

// Where a stage settles with no signal, by supply range (rows) and tube type.
constexpr double restCathodeVoltages[3][TriodeModel::tubeTypeCount] = {
    {0.89873106, 1.58417516, 2.46879023},
    {1.54237693, 2.66457249, 4.14004432},
    {2.20234211, 3.75964222, 5.83322275},
};

// The stage circuit, ohms. The input drives inputResistance into a node with
// gridLeak to ground that reaches the grid through gridResistance; the plate
// has plateResistance to the supply and plateLoad to ground; the cathode has
// cathodeResistance to ground, bypassed by the cathode capacitor.
constexpr double inputResistance = 68000.0;
constexpr double gridResistance = 1.0;
constexpr double gridLeak = 1000000.0;
constexpr double plateResistance = 100000.0;
constexpr double plateLoad = 4000000.0;
constexpr double cathodeResistance = 2700.0;

// The rebuild's solves start far outside the signal range: the cathode at
// ±15 V and the grid at ±300 V.
constexpr double cathodeSpan = 15.0;
constexpr int maxNewtonSteps = 256;
constexpr double newtonTolerance = 1e-12;
constexpr double zeroPivot = 1e-40;

// Input of table entry i, from -300 V to +300 V in 1024 steps.
inline double tableInput(int i) noexcept
{
    constexpr int steps = TriodeModel::tableSize - 1;
    return i * TriodeModel::inputRange / steps - (steps - i) * TriodeModel::inputRange / steps;
}

// Solves A·x = b in place for a 3x3 system: Crout LU with implicit scaled
// partial pivoting (each row weighted by the inverse of its largest entry), a
// zero pivot replaced by a tiny one, then forward and back substitution.
void solve3(double a[3][3], double b[3]) noexcept
{
    double scale[3];
    int index[3];
    for (int i = 0; i < 3; ++i) {
        double big = 0.0;
        for (int j = 0; j < 3; ++j) big = std::max(big, std::fabs(a[i][j]));
        scale[i] = big > 0.0 ? 1.0 / big : 1.0;
    }
    for (int j = 0; j < 3; ++j) {
        for (int i = 0; i < j; ++i) {
            double sum = a[i][j];
            for (int k = 0; k < i; ++k) sum -= a[i][k] * a[k][j];
            a[i][j] = sum;
        }
        double big = 0.0;
        int pivot = j;
        for (int i = j; i < 3; ++i) {
            double sum = a[i][j];
            for (int k = 0; k < j; ++k) sum -= a[i][k] * a[k][j];
            a[i][j] = sum;
            const double weighted = scale[i] * std::fabs(sum);
            if (weighted >= big) {
                big = weighted;
                pivot = i;
            }
        }
        if (pivot != j) {
            for (int k = 0; k < 3; ++k) std::swap(a[pivot][k], a[j][k]);
            scale[pivot] = scale[j];
        }
        index[j] = pivot;
        if (a[j][j] == 0.0) a[j][j] = zeroPivot;
        if (j != 2) {
            const double inverse = 1.0 / a[j][j];
            for (int i = j + 1; i < 3; ++i) a[i][j] *= inverse;
        }
    }
    int first = -1;
    for (int i = 0; i < 3; ++i) {
        const int p = index[i];
        double sum = b[p];
        b[p] = b[i];
        if (first >= 0) {
            for (int j = first; j < i; ++j) sum -= a[i][j] * b[j];
        } else if (sum != 0.0) {
            first = i;
        }
        b[i] = sum;
    }
    for (int i = 2; i >= 0; --i) {
        double sum = b[i];
        for (int j = i + 1; j < 3; ++j) sum -= a[i][j] * b[j];
        b[i] = sum / a[i][i];
    }
}

// The node equations of one time step and their Newton solve. Built at each
// rebuild from the circuit values, the tube type and the period.
class StageSolver {
public:
    StageSolver(const TubeParameters& tube, double supply, double period, double cathodeCapacitance) noexcept
        : t(tube), supply(supply)
    {
        const double gPar = 1.0 / (1.0 / gridResistance + 1.0 / inputResistance + 1.0 / gridLeak);
        gIn = (1.0 / gridResistance) * (1.0 / inputResistance) * gPar;
        gGrid = -(1.0 / gridLeak + 1.0 / inputResistance) * (1.0 / gridResistance) * gPar;
        stepOverCk = period / cathodeCapacitance;
        inversePlate = 1.0 / plateResistance;
        inverseLoad = 1.0 / plateLoad;
        inverseCathode = 1.0 / cathodeResistance;
        inverseKp = 1.0 / t.kp;
        inverseKg1 = 1.0 / t.kg1;
    }

    // One Newton solve from the state's own voltages, for input x and the
    // previous cathode voltage vk0. The update is undamped and the test comes
    // after it; a solve that has not converged after 256 steps keeps its last
    // iterate (at grid +300 V the iteration settles into a two-value cycle,
    // and the rebuild's cathode figures are defined by that last iterate).
    void solve(TriodeState& s, double x, double vk0) const noexcept
    {
        double vp = s.plate, vg = s.grid, vk = s.cathode;
        for (int step = 0; step < maxNewtonSteps; ++step) {
            // Plate current and its derivatives share one exponential, one
            // logarithm and one power.
            double ip = 0.0, dIpVp = 0.0, dIpVg = 0.0;
            const double d = vp - vk;
            if (d > 0.0) {
                const double big = d * d + t.kvb;
                const double root = std::sqrt(big);
                const double e = 1.0 / root;
                const double f = vg - vk + t.gridOffset;
                const double z = t.kp * (t.inverseMu + f / root);
                double softPlus = z;
                double logistic = z > 6.0 ? 1.0 : 0.0;
                if (z <= 16.0) {
                    const double ez = std::exp(z);
                    softPlus = std::log(1.0 + ez);
                    if (z >= -6.0 && z <= 6.0) logistic = ez / (ez + 1.0);
                }
                const double e1 = d * inverseKp * softPlus;
                if (e1 > 0.0) {
                    const double power = std::pow(e1, t.ex - 1.0);
                    ip = power * e1 * (2.0 * inverseKg1);
                    const double m = power * 2.0 * t.ex * inverseKg1;
                    dIpVp = (softPlus * inverseKp - d * d * f * e * logistic / big) * m;
                    dIpVg = e * d * logistic * m;
                }
            }
            const double dIpVk = -(dIpVp + dIpVg);

            // Grid current: a 3/2-power law above -0.2 V grid to cathode.
            const double w = vg - vk + 0.2 + t.gridOffset;
            double ig = 0.0, dIg = 0.0;
            if (w > 0.0) {
                const double rw = std::sqrt(w);
                ig = 1e-5 * w * rw;
                dIg = 1.5e-5 * rw;
            }

            // The capacitor is integrated by backward Euler.
            double r[3] = {
                ig - (gGrid * vg + gIn * x),
                (vk * inverseCathode - ip - ig) * stepOverCk + (vk - vk0),
                (inversePlate + inverseLoad) * vp - supply * inversePlate + ip,
            };
            double j[3][3] = {
                {0.0, gGrid - dIg, dIg},
                {dIpVp * stepOverCk, (dIg + dIpVg) * stepOverCk,
                 -1.0 - (dIg + inverseCathode - dIpVk) * stepOverCk},
                {-(inverseLoad + inversePlate) - dIpVp, -dIpVg, -dIpVk},
            };
            solve3(j, r);
            vp += r[0];
            vg += r[1];
            vk += r[2];
            if (std::fabs(r[0]) + std::fabs(r[1]) + std::fabs(r[2]) < newtonTolerance) break;
        }
        s.plate = vp;
        s.grid = vg;
        s.cathode = vk;
    }

    // The plate voltage with no plate current: the divider of plate resistor
    // and load across the supply.
    double cutOffPlate() const noexcept { return supply * inversePlate / (inversePlate + inverseLoad); }
    // The cathode's decay per step with no tube current (backward Euler).
    double cutOffDecay() const noexcept
    {
        const double a = stepOverCk * inverseCathode;
        return -a / (1.0 + a);
    }

private:
    TubeParameters t;
    double supply;
    double gIn, gGrid, stepOverCk, inversePlate, inverseLoad, inverseCathode, inverseKp, inverseKg1;
};

}  // namespace

TriodeModel::TriodeModel(int stateCount)
    : states(std::make_unique<TriodeState[]>(std::max(stateCount, 1))),
      count(std::max(stateCount, 1)),
      ownTables_(std::make_unique<Tables>())
{
    for (int i = 0; i < count; ++i) resetState(states[i]);
    rebuild();
}

void TriodeModel::setTubeType(unsigned index) noexcept
{
    if (index < static_cast<unsigned>(tubeTypeCount) && index != tubeType) tubeType = index;
}

void TriodeModel::setCathodeCapacitance(double farads) noexcept
{
    if (farads > 0.0 && std::isfinite(farads)) cathodeCapacitance = farads;
}

void TriodeModel::setSupply(double volts) noexcept
{
    if (std::isfinite(volts)) supply = volts;
}

void TriodeModel::setPeriod(double t) noexcept
{
    if (t > 0.0 && std::isfinite(t)) period = t;
    rebuild();
}

TriodeModel::Circuit TriodeModel::circuitAt(double t) const noexcept
{
    Circuit c;
    c.tubeType = tubeType;
    c.supply = supply;
    c.cathodeCapacitance = cathodeCapacitance;
    c.period = t;
    return c;
}

bool TriodeModel::readsTablesFor(double t) const noexcept
{
    return tables_->valid && tables_->circuit == circuitAt(t);
}

bool TriodeModel::use(const Tables& prepared) noexcept
{
    if (!prepared.valid || !(prepared.circuit == circuitAt(prepared.circuit.period))) return false;
    period = prepared.circuit.period;
    tables_ = &prepared;
    return true;
}

namespace {
int supplyRangeOf(double supply) noexcept
{
    const double r = std::trunc((supply - 150.0 + 50.0) * 0.01);
    if (!(r > 0.0)) return 0;
    return r >= 2.0 ? 2 : static_cast<int>(r);
}
}  // namespace

int TriodeModel::supplyRange() const noexcept { return supplyRangeOf(supply); }

double TriodeModel::restCathodeVoltage() const noexcept
{
    return restCathodeVoltages[supplyRange()][tubeType];
}

void TriodeModel::resetCathodes() noexcept
{
    const double rest = restCathodeVoltage();
    for (int i = 0; i < count; ++i) states[i].cathode = rest;
}

void TriodeModel::resetState(TriodeState& s) const noexcept { resetState(s, supply); }

void TriodeModel::resetState(TriodeState& s, double supply) noexcept
{
    s.plate = supply * 0.5;
    s.grid = 0.0;
    s.cathode = 0.0;
}

double TriodeModel::interpolate(const Table& t, double u) noexcept
{
    if (!(u > 0.0)) u = 0.0;
    if (u > 1.0) u = 1.0;
    const double p = u * (tableSize - 1);
    const int j = static_cast<int>(p);
    const double f = p - j;
    if (f <= 0.0) return t[j + 1];
    return spline(segment(t, j), f);
}

TriodeModel::Segment TriodeModel::segment(const Table& t, int j) noexcept
{
    const double p0 = t[j], p1 = t[j + 1], p2 = t[j + 2], p3 = t[j + 3];
    return {p1, (p2 - p0) * 0.5, p0 - 2.5 * p1 + 2.0 * p2 - 0.5 * p3, (p3 - p0) * 0.5 + (p1 - p2) * 1.5};
}

void TriodeModel::rebuild() noexcept
{
    // The own tables may be the ones read now: rebuilt in place, as always.
    build(*ownTables_, circuitAt(period));
    tables_ = ownTables_.get();
}

void TriodeModel::build(Tables& out, const Circuit& circuit) noexcept
{
    const double supply = circuit.supply;
    const StageSolver solver(tubeParameters[circuit.tubeType], supply, circuit.period,
                             circuit.cathodeCapacitance);
    Table& plateTableLow = out.plateTableLow;
    Table& plateTableHigh = out.plateTableHigh;
    Table& cathodeTable = out.cathodeTable;
    double& inputShift = out.inputShift;
    double& cathodeDecay = out.cathodeDecay;
    double& cathodeInputShift = out.cathodeInputShift;
    double& restPlate = out.restPlate;
    bool& crossingsFound = out.crossingsFound;
    auto& plateSegments = out.plateSegments;
    auto& cathodeSegments = out.cathodeSegments;
    // The working state of every solve below (each sequence starts from a
    // reset, so the tables depend on the circuit alone).
    TriodeState working;
    TriodeState& s = working;
    auto startAt = [&](double grid, double cathode) {
        resetState(s, supply);
        s.grid = grid;
        s.cathode = cathode;
    };

    // Input where the plate falls to 95 % of the supply, with the cathode
    // held at vk0; false when the sweep brackets no crossing.
    const double threshold = 0.95 * supply;
    auto crossing = [&](double vk0, double& at) {
        startAt(-inputRange, vk0);
        double previousX = 0.0, previousPlate = 0.0;
        for (int i = 0; i < tableSize; ++i) {
            const double x = tableInput(i);
            solver.solve(s, x, vk0);
            if (s.plate < threshold) {
                if (i == 0) return false;
                at = previousX + (threshold - previousPlate) * (x - previousX) / (s.plate - previousPlate);
                return true;
            }
            previousX = x;
            previousPlate = s.plate;
        }
        return false;
    };
    double low = 0.0, high = 0.0;
    const bool foundLow = crossing(-cathodeSpan, low);
    const bool foundHigh = foundLow && crossing(cathodeSpan, high);
    crossingsFound = foundLow && foundHigh;
    // Without both crossings there is no measure of how the cathode shifts
    // the plate curve; the tables are then read at the plain input.
    inputShift = crossingsFound ? (high - low) / (2.0 * cathodeSpan) : 0.0;

    // Plate voltage over the input range with the cathode at -15 V and +15 V;
    // per sample the two are blended by the cathode voltage.
    startAt(-inputRange, -cathodeSpan);
    for (int i = 0; i < tableSize; ++i) {
        solver.solve(s, tableInput(i) - cathodeSpan * inputShift, -cathodeSpan);
        plateTableLow[i + 1] = s.plate;
    }
    startAt(-inputRange, cathodeSpan);
    for (int i = 0; i < tableSize; ++i) {
        solver.solve(s, tableInput(i) + cathodeSpan * inputShift, cathodeSpan);
        plateTableHigh[i + 1] = s.plate;
    }
    // Cathode voltage after one step from 0 V.
    startAt(-inputRange, 0.0);
    for (int i = 0; i < tableSize; ++i) {
        solver.solve(s, tableInput(i), 0.0);
        cathodeTable[i + 1] = s.cathode;
    }

    // How much of the cathode voltage one step keeps with the tube cut off.
    startAt(-inputRange, -cathodeSpan);
    solver.solve(s, -inputRange, -cathodeSpan);
    const double a = s.cathode + cathodeSpan;
    startAt(-inputRange, cathodeSpan);
    solver.solve(s, -inputRange, cathodeSpan);
    cathodeDecay = ((s.cathode - cathodeSpan) - a) / (2.0 * cathodeSpan);

    // How the cathode voltage shifts the cathode table's input, measured with
    // the tube driven hard.
    startAt(inputRange, -cathodeSpan);
    solver.solve(s, inputRange, -cathodeSpan);
    const double dLow = s.cathode + cathodeSpan + cathodeSpan * cathodeDecay;
    startAt(inputRange, cathodeSpan);
    solver.solve(s, inputRange, cathodeSpan);
    const double fHigh = s.cathode - cathodeSpan - cathodeSpan * cathodeDecay;
    startAt(inputRange, cathodeSpan);
    solver.solve(s, inputRange - cathodeSpan, cathodeSpan);
    const double gHigh = s.cathode - cathodeSpan - cathodeSpan * cathodeDecay;
    cathodeInputShift =
        ((fHigh - dLow) / ((fHigh - gHigh) * (1.0 / cathodeSpan))) * (1.0 / (2.0 * cathodeSpan));

    // A circuit the solver could not handle must still give a model that
    // stays finite and stable per sample.
    if (!std::isfinite(cathodeDecay) || !(cathodeDecay > -2.0 && cathodeDecay < 0.0))
        cathodeDecay = solver.cutOffDecay();
    if (!std::isfinite(cathodeInputShift)) cathodeInputShift = 0.0;
    if (!std::isfinite(inputShift)) inputShift = 0.0;
    for (int i = 1; i <= tableSize; ++i) {
        if (!std::isfinite(plateTableLow[i])) plateTableLow[i] = solver.cutOffPlate();
        if (!std::isfinite(plateTableHigh[i])) plateTableHigh[i] = solver.cutOffPlate();
        if (!std::isfinite(cathodeTable[i])) cathodeTable[i] = 0.0;
    }
    for (Table* t : {&plateTableLow, &plateTableHigh, &cathodeTable}) {
        (*t)[0] = (*t)[1];
        (*t)[tableSize + 1] = (*t)[tableSize + 2] = (*t)[tableSize];
    }

    for (int j = 0; j < tableSize; ++j) {
        const Segment h = segment(plateTableHigh, j), l = segment(plateTableLow, j);
        plateSegments[j] = {{h.p1, l.p1}, {h.c, l.c}, {h.b, l.b}, {h.a, l.a}};
        cathodeSegments[j] = segment(cathodeTable, j);
    }
    out.shiftSteps = _mm_set_pd(cathodeInputShift * stepsPerVolt, -inputShift * stepsPerVolt);
    out.cathodeKeep = 1.0 + cathodeDecay;

    const double rest = restCathodeVoltages[supplyRangeOf(supply)][circuit.tubeType];
    const double u = (inputRange - rest * inputShift) / (2.0 * inputRange);
    restPlate = interpolate(plateTableLow, u) * (cathodeSpan - rest) / (2.0 * cathodeSpan) +
                interpolate(plateTableHigh, u) * (rest + cathodeSpan) / (2.0 * cathodeSpan);
    out.circuit = circuit;
    out.valid = true;
}

}  // namespace valvora
