#pragma once

namespace valvora {

// PLACEHOLDER (identity) until the diode clipper table lands.
class WaveshaperTable {
public:
    static const WaveshaperTable& instance() noexcept
    {
        static const WaveshaperTable table;
        return table;
    }
    double lookup(double x) const noexcept { return x; }
};

}  // namespace valvora
