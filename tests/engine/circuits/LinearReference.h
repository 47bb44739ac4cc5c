#pragma once
// Independent references for the linear stages' tests: transfer functions
// evaluated directly in complex arithmetic (full-pivot LU, not the closed
// forms the stages use), a Taylor-series matrix exponential, and a steady-state
// sine measurement on any per-sample processor.

#include <Eigen/Dense>
#include <cmath>
#include <complex>
#include <numbers>

namespace valvora::testing {

using Complex = std::complex<double>;

template <class A, class B, class C>
Complex stateSpaceResponse(const A& a, const B& b, const C& c, double d, Complex p)
{
    const Eigen::Index n = a.rows();
    const Eigen::MatrixXcd m = p * Eigen::MatrixXcd::Identity(n, n) - a.template cast<Complex>();
    const Eigen::VectorXcd x = m.fullPivLu().solve(b.template cast<Complex>());
    Complex y = d;
    for (Eigen::Index i = 0; i < n; ++i) y += c(i) * x(i);
    return y;
}

inline Complex jOmega(double hertz)
{
    return Complex(0.0, 2.0 * std::numbers::pi * hertz);
}

inline Complex unitCircle(double hertz, double rate)
{
    return std::polar(1.0, 2.0 * std::numbers::pi * hertz / rate);
}

// e^M by its Taylor series, for matrices of small norm (|M| < 1 here).
inline Eigen::MatrixXd taylorExp(const Eigen::MatrixXd& m)
{
    Eigen::MatrixXd term = Eigen::MatrixXd::Identity(m.rows(), m.cols());
    Eigen::MatrixXd sum = term;
    for (int k = 1; k < 60; ++k) {
        term = term * m / double(k);
        sum += term;
    }
    return sum;
}

// ∫0..T e^(a·t) dt · b, again by series: Σ a^k T^(k+1) / (k+1)! · b.
inline Eigen::VectorXd taylorHoldIntegral(const Eigen::MatrixXd& a, const Eigen::VectorXd& b, double t)
{
    Eigen::MatrixXd term = Eigen::MatrixXd::Identity(a.rows(), a.cols()) * t;
    Eigen::MatrixXd sum = term;
    for (int k = 1; k < 60; ++k) {
        term = term * a * t / double(k + 1);
        sum += term;
    }
    return sum * b;
}

// Steady-state complex gain at `hertz`: the processor is fed a unit sine for
// `settle` samples, then for exactly one second (a whole number of periods for
// any integer frequency) while the output is correlated with e^(−jωn).
template <class Process>
Complex measureSineResponse(Process&& process, double hertz, int rate, int settle, double amplitude = 1.0)
{
    const double w = 2.0 * std::numbers::pi * hertz / rate;
    for (int n = 0; n < settle; ++n) process(amplitude * std::sin(w * n));
    Complex sum = 0.0;
    for (int n = settle; n < settle + rate; ++n)
        sum += process(amplitude * std::sin(w * n)) * std::polar(1.0, -w * n);
    return Complex(0.0, 2.0) * sum / (double(rate) * amplitude);
}

inline double relativeError(Complex got, Complex want)
{
    return std::abs(got - want) / std::abs(want);
}

}  // namespace valvora::testing
