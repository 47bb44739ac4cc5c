#pragma once
// The credits and the version the about view prints onto its panel, with
// where and how: each editor draws them with its own window system's fonts.

#include <array>
#include <functional>
#include <string>
#include <vector>

namespace valvora {

struct AboutText {
    // The box the text is centred in (panel pixels, right and bottom exclusive).
    int left, top, right, bottom;
    int pixels;  // character height
    unsigned char red, green, blue;
    const char* text;
    bool wordBreak;  // wrap at word ends within the box (else only at line breaks)
};

class AboutTexts {
public:
    static constexpr int kCount = 8;
    // platform: the word after the version number ("Win64", "Linux").
    explicit AboutTexts(const char* platform) noexcept;
    AboutTexts(const AboutTexts&) = delete;
    AboutTexts& operator=(const AboutTexts&) = delete;

    const AboutText* begin() const noexcept { return texts_.data(); }
    const AboutText* end() const noexcept { return texts_.data() + texts_.size(); }
    const char* versionLine() const noexcept { return version_; }

    // The lines a text occupies in its box, as the Windows editor breaks
    // them: at every line break ("\n", a "\r" beside it is part of it) and,
    // with wordBreak, before a word that would overrun the box; a word wider
    // than the box stands alone. width measures a line in the font used.
    static std::vector<std::string> lines(const AboutText& text,
                                          const std::function<int(const std::string&)>& width);

private:
    char version_[96] = {};
    std::array<AboutText, kCount> texts_{};
};

}  // namespace valvora
