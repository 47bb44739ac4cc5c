#pragma once

namespace valvora {

// One sample of one channel on its way through the engine.
struct ChannelSample {
    double input = 0.0;   // entering value; the engine may overwrite it
    double output = 0.0;  // result
    int channel = 0;      // 0 or 1
};

}  // namespace valvora
