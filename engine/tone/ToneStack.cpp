#include "engine/tone/ToneStack.h"

namespace valvora {

namespace {

// Circuit constants of one voicing. Names follow the matrix entry they scale
// (aIJ for a(i, j)); kX are the treble polynomials' coefficients.
struct Voicing {
    double q0;
    double k1[3], k2[3], k3[3], k4[3], k5[3];
    double r;
    double a01, a02, a04, a05, a06;
    double a10, a12, a14, a15, a16;
    double a20, a21, a22;
    double a33, a33Middle, a33K5;
    double a40, a44, a45;
    double a50, a54, a55;
    double a60, a61;
    double a66, a66Bass;
    double beta, gamma;
};

// One row per entry group, as the circuit's constants are tabulated.
// clang-format off
constexpr Voicing voicings[2] = {
    {50000.0,
     {683567036133.0, 707744936133.0, 119219900000.0},
     {541585943907.0, 565763843907.0, 97943300000.0},
     {14739695166507.0, 14763873066507.0, 2225603300000.0},
     {15023657350959.0, 15047835250959.0, 2268156500000.0},
     {15157119550959.0, 15181297450959.0, 2288156500000.0},
     0.00212765957446808,
     0.178571428571428, -1899696428.57142, 89285.7142857142, 35714.2857142857, -119047.678571428,
     0.00212765957446808, 45269361.7021276, -1063.82978723404, 425.531914893617, 1418.44042553191,
     -48355909.090909, 96711818.1818181, -96711818.1818181,
     0.00212765957446808, 56383.0, 50000.0,
     15151.5151515151, 3030.30303030303, 303030303.030303,
     4255.31914893617, 212765957.446808, 2127.65957446808,
     -1418.44042553191, 1418.44042553191,
     -0.00212765957446808, 70922035461.0,
     -45269.3617021276, -93617.1336171336},
    {25000.0,
     {683567036000.0, 707744936000.0, 119219900000.0},
     {541585943900.0, 565763843800.0, 97943300000.0},
     {14739695150000.0, 14763873060000.0, 2225603300000.0},
     {15023657340000.0, 15047835240000.0, 2268156500000.0},
     {15090388440000.0, 15114566340000.0, 2278156500000.0},
     0.002127659574,
     0.1428571428, -759878571.4, 71428.57142, 28571.42857, -95238.14285,
     0.002127659574, 22634680.85, -1063.829786, 425.5319147, 1418.440425,
     -24177954.54, 48355909.08, -48355909.08,
     0.002127659574, 81383.0, 25000.0,
     15151.51515, 3030.30303, 303030303.0,
     4255.319147, 212765957.4, 2127.659573,
     -1418.440425, 1418.440425,
     -0.002127659574, 70922035450.0,
     -45269.3617, -93617.13361},
};
// clang-format on

inline double quadratic(const double (&k)[3], double t) noexcept
{
    return k[0] * t * t - k[1] * t - k[2];
}

}  // namespace

ToneStack::ToneStack(int variant) noexcept : variant_(variant == 1 ? 1 : 0)
{
    buildContinuous();
    discretise();
}

void ToneStack::setControls(double bass, double middle, double treble, double period) noexcept
{
    auto changed = [](double now, double before) { return now < before || now > before; };
    if (changed(bass, bass_) || changed(middle, middle_) || changed(treble, treble_)) {
        bass_ = bass;
        middle_ = middle;
        treble_ = treble;
        buildContinuous();
    }
    period_ = period;
    discretise();
}

void ToneStack::buildContinuous() noexcept
{
    const Voicing& k = voicings[variant_];
    const double s = bass_, m = middle_, t = treble_;

    const double P = 667311.0 * t * t - 667311.0 * t - 100000.0;
    const double G = 1.0 / (106383.0 * s * s - 106383.0 * s - 20000.0);
    const double U = 90909.0 * t + 20000.0;
    const double V = 156383.0 - 106383.0 * t;
    const double W = 106383.0 * t - 156383.0;
    const double N = 106383.0 * m;
    const double Q = N + k.q0;
    const double K1 = quadratic(k.k1, t);
    const double K2 = quadratic(k.k2, t) * N + k.q0 * K1;
    const double K3 = quadratic(k.k3, t);
    const double K4 = quadratic(k.k4, t);
    const double K5 = quadratic(k.k5, t);
    const double QP = Q * P;
    const double E = -k.r * (k.q0 * K4 + K3 * N) / QP;

    SquareMatrix<7>& a = model_.a;
    a.setZero();
    if (variant_ == 0)
        a(0, 0) = -3.57142857142857 *
                  ((30628824501.0 * t * t - 31837719501.0 * t - 5429080000.0) * N + 2500.0 * K1) / QP;
    else
        a(0, 0) = -714.2857142 *
                  ((61257649.0 * t * t - 63675439.0 * t - 10858160.0) * 212766.0 * m + 5.0 * K1) / QP;
    a(0, 1) = a(0, 3) = k.a01 * K2 / QP;
    a(0, 2) = k.a02 / Q;
    a(0, 4) = k.a04 * U / P;
    a(0, 5) = k.a05 * V / P;
    a(0, 6) = k.a06;

    a(1, 0) = a(3, 0) = k.a10 * K2 / QP;
    a(1, 1) = a(1, 3) = a(3, 1) = E;
    a(1, 2) = a(3, 2) = k.a12 / Q;
    a(1, 4) = a(3, 4) = k.a14 * U / P;
    a(1, 5) = a(3, 5) = k.a15 * W / P;
    a(1, 6) = a(3, 6) = k.a16;

    a(2, 0) = k.a20 / Q;
    a(2, 1) = a(2, 3) = k.a21 / Q;
    a(2, 2) = k.a22 / Q;

    a(3, 3) = k.a33 * (106383.0 * m * m * K3 - k.a33Middle * m * K3 - k.a33K5 * K5) / ((1.0 - m) * P * Q);

    a(4, 0) = k.a40 * U / P;
    a(4, 1) = a(4, 3) = -a(4, 0);
    a(4, 4) = k.a44 * (667311.0 * t + 100000.0) / P;
    a(4, 5) = k.a45 / P;

    a(5, 0) = k.a50 * V / P;
    a(5, 1) = a(5, 3) = k.a50 * W / P;
    a(5, 4) = k.a54 / P;
    a(5, 5) = k.a55 * (767311.0 - 667311.0 * t) / P;

    a(6, 0) = k.a60;
    a(6, 1) = a(6, 3) = k.a61;
    a(6, 6) = k.a66 * (k.a66Bass * s * s - k.a66Bass * s - 17588660000.0) * G;

    model_.b << 0.0, k.beta, 0.0, k.beta, 0.0, 0.0, 0.0;
    const double c1 = 20.0 * t * W / P;
    model_.c << 20.0 * t * V / P, c1, 0.0, c1, 1000000.0 * t / P, 1000000.0 * (t - 1.0) / P, k.gamma * s * G;
    model_.d = 0.0;
}

void ToneStack::discretise() noexcept
{
    // A middle position of exactly 1 (a singular circuit) or a non-finite
    // setting leaves the last sound coefficients in place.
    bilinear(model_, period_, resolvent_, discrete_);
    block_.build(discrete_);
}

}  // namespace valvora
