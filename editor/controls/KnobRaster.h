#pragma once
// Turns a knob's numbered scale in software: every overlay pixel is rotated
// about the knob's centre and its alpha spread over the four pixels it lands
// between, added as white light onto the knob. Buffers are 32-bit BGRA,
// top-down, width * height * 4 bytes. Host window thread; no allocation.

#include <array>
#include <cstdint>

namespace valvora {

class KnobRaster {
public:
    static constexpr int kPositions = 101;

    KnobRaster() noexcept;

    // The scale's angle for value v (0..100): -150 degrees at 0 through 0 at
    // 50 to +150 degrees at 100; positive turns clockwise on screen.
    float cosine(int value) const noexcept { return cos_[index(value)]; }
    float sine(int value) const noexcept { return sin_[index(value)]; }

    // work = pristine with the overlay turned to value. All three buffers are
    // width * height pixels.
    void render(const std::uint8_t* pristine, const std::uint8_t* overlay, std::uint8_t* work, int width,
                int height, float centreX, float centreY, int value) const noexcept;

private:
    static int index(int value) noexcept { return value < 0 ? 0 : (value > 100 ? 100 : value); }

    std::array<float, kPositions> cos_{};
    std::array<float, kPositions> sin_{};
};

}  // namespace valvora
