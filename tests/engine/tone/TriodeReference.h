#pragma once
// A deliberately plain transcription of the triode stage's rebuild, written
// apart from the model: Gaussian elimination instead of Crout, each current
// law and derivative evaluated on its own, nothing shared or reused. The model
// must agree with it to 1e-6 relative.

#include <cmath>
#include <utility>
#include <vector>

namespace triode_reference {

struct Tube {
    double mu, ex, kg1, kp, kvb;
};

struct Circuit {
    Tube tube{21.5, 1.3, 1180.0, 84.0, 300.0};
    double rin = 68000.0, rg = 1.0, rleak = 1e6, supply = 350.0, rp = 1e5, rload = 4e6, rk = 2700.0;
    double ck = 1.2e-5, period = 1.0 / 44100.0;
};

struct Node {
    double vp, vg, vk;
};

struct Result {
    std::vector<double> low, high, cathode;
    double inputShift = 0, cathodeDecay = 0, cathodeInputShift = 0;
};

class Rebuild {
public:
    explicit Rebuild(const Circuit& c) : c_(c) {}

    double plateCurrent(double vpk, double vgk) const
    {
        if (vpk <= 0) return 0;
        const Tube& t = c_.tube;
        const double z = t.kp * (1.0 / t.mu + vgk / std::sqrt(vpk * vpk + t.kvb));
        const double sp = z <= 16 ? std::log(1 + std::exp(z)) : z;
        const double e1 = vpk / t.kp * sp;
        if (e1 <= 0) return 0;
        return 2 * std::pow(e1, t.ex) / t.kg1;
    }

    void plateDerivatives(const Node& n, double& dvp, double& dvg, double& dvk) const
    {
        dvp = dvg = dvk = 0;
        const Tube& t = c_.tube;
        const double d = n.vp - n.vk;
        if (d <= 0) return;
        const double big = d * d + t.kvb, e = 1 / std::sqrt(big), f = n.vg - n.vk;
        const double z = (e * f + 1 / t.mu) * t.kp;
        const double h = z > 6 ? 1 : (z < -6 ? 0 : std::exp(z) / (std::exp(z) + 1));
        const double sp = z <= 16 ? std::log(1 + std::exp(z)) : z;
        const double base = sp * d / t.kp;
        const double m = base > 0 ? std::pow(base, t.ex - 1) * 2 * t.ex / t.kg1 : 0;
        dvp = (sp / t.kp - d * d * f * e * h / big) * m;
        dvg = e * d * h * m;
        dvk = -(dvp + dvg);
    }

    static double gridCurrent(double w) { return w > 0 ? 1e-5 * w * std::sqrt(w) : 0; }
    static double gridSlope(double w) { return w > 0 ? 1.5e-5 * std::sqrt(w) : 0; }

    // Gaussian elimination with scaled partial pivoting.
    static void solve(double a[3][3], double b[3])
    {
        double s[3];
        for (int i = 0; i < 3; ++i)
            s[i] = std::max(std::fabs(a[i][0]), std::max(std::fabs(a[i][1]), std::fabs(a[i][2])));
        for (int k = 0; k < 3; ++k) {
            int p = k;
            double best = -1;
            for (int i = k; i < 3; ++i) {
                const double v = std::fabs(a[i][k]) / s[i];
                if (v >= best) best = v, p = i;
            }
            std::swap(a[p], a[k]);
            std::swap(b[p], b[k]);
            std::swap(s[p], s[k]);
            if (a[k][k] == 0) a[k][k] = 1e-40;
            for (int i = k + 1; i < 3; ++i) {
                const double l = a[i][k] / a[k][k];
                for (int j = k; j < 3; ++j) a[i][j] -= l * a[k][j];
                b[i] -= l * b[k];
            }
        }
        for (int i = 2; i >= 0; --i) {
            double sum = b[i];
            for (int j = i + 1; j < 3; ++j) sum -= a[i][j] * b[j];
            b[i] = sum / a[i][i];
        }
    }

    void newton(Node& n, double x, double vk0) const
    {
        const double gpar = 1 / (1 / c_.rg + 1 / c_.rin + 1 / c_.rleak);
        const double gin = (1 / c_.rg) * (1 / c_.rin) * gpar;
        const double ggrid = -(1 / c_.rleak + 1 / c_.rin) * (1 / c_.rg) * gpar;
        const double tc = c_.period / c_.ck;
        for (int step = 0; step < 256; ++step) {
            const double w = n.vg - n.vk + 0.2;
            const double ig = gridCurrent(w), igd = gridSlope(w);
            const double ip = plateCurrent(n.vp - n.vk, n.vg - n.vk);
            double dvp, dvg, dvk;
            plateDerivatives(n, dvp, dvg, dvk);
            double f[3] = {ig - (ggrid * n.vg + gin * x), (n.vk / c_.rk - ip - ig) * tc + (n.vk - vk0),
                           (1 / c_.rp + 1 / c_.rload) * n.vp - c_.supply / c_.rp + ip};
            double j[3][3] = {{0, ggrid - igd, igd},
                              {dvp * tc, (igd + dvg) * tc, -1 - (igd + 1 / c_.rk - dvk) * tc},
                              {-(1 / c_.rload + 1 / c_.rp) - dvp, -dvg, -dvk}};
            solve(j, f);
            n.vp += f[0], n.vg += f[1], n.vk += f[2];
            if (std::fabs(f[0]) + std::fabs(f[1]) + std::fabs(f[2]) < 1e-12) break;
        }
    }

    static double input(int i) { return -300.0 + 600.0 * i / 1024.0; }

    Node start(double grid, double cathode) const { return {c_.supply * 0.5, grid, cathode}; }

    double crossing(double vk0) const
    {
        Node n = start(-300, vk0);
        const double threshold = 0.95 * c_.supply;
        double px = 0, pv = 0;
        for (int i = 0; i <= 1024; ++i) {
            newton(n, input(i), vk0);
            if (n.vp < threshold) return px + (threshold - pv) / (n.vp - pv) * (input(i) - px);
            px = input(i), pv = n.vp;
        }
        return NAN;
    }

    Result run() const
    {
        Result r;
        r.inputShift = (crossing(15) - crossing(-15)) / 30;
        auto sweep = [&](double vk0, double shift, std::vector<double>& out, bool cathode) {
            Node n = start(-300, vk0);
            for (int i = 0; i <= 1024; ++i) {
                newton(n, input(i) + shift, vk0);
                out.push_back(cathode ? n.vk : n.vp);
            }
        };
        sweep(-15, -15 * r.inputShift, r.low, false);
        sweep(15, 15 * r.inputShift, r.high, false);
        sweep(0, 0, r.cathode, true);
        auto single = [&](double grid, double vk0, double x) {
            Node n = start(grid, vk0);
            newton(n, x, vk0);
            return n.vk;
        };
        const double a = single(-300, -15, -300) + 15;
        r.cathodeDecay = ((single(-300, 15, -300) - 15) - a) / 30;
        const double d = single(300, -15, 300) + 15 + 15 * r.cathodeDecay;
        const double f = single(300, 15, 300) - 15 - 15 * r.cathodeDecay;
        const double g = single(300, 15, 285) - 15 - 15 * r.cathodeDecay;
        r.cathodeInputShift = (f - d) / ((f - g) / 15) / 30;
        return r;
    }

private:
    Circuit c_;
};

}  // namespace triode_reference
