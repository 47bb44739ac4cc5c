#pragma once

namespace valvora {

// PLACEHOLDER (linear, unity gain) until the two-triode model lands.
class TriodeModel {
public:
    explicit TriodeModel(int stateCount) : count_(stateCount) {}
    void setTubeType(unsigned index) noexcept { (void)index; }
    void setCathodeCapacitance(double farads) noexcept { (void)farads; }
    void setSupply(double volts) noexcept { (void)volts; }
    void setPeriod(double period) noexcept { (void)period; }
    void resetCathodes() noexcept {}
    double process(double x, int stage, int removeRest) noexcept { (void)stage, (void)removeRest; return x; }
    int stateCount() const noexcept { return count_; }

private:
    int count_;
};

}  // namespace valvora
