#pragma once
// A window's pixels as the editor tests capture them (8-bit RGB, top row
// first), compared region by region and kept as PPM files so that captures
// taken by the Linux and the Windows editor can meet in one test.

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace valvora::test {

struct RgbImage {
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> rgb;

    const std::uint8_t* at(int x, int y) const { return &rgb[(static_cast<std::size_t>(y) * width + x) * 3]; }

    // Sum of absolute channel differences inside a rectangle.
    long difference(const RgbImage& other, int x, int y, int w, int h) const
    {
        long sum = 0;
        for (int row = y; row < y + h && row < height && row < other.height; ++row)
            for (int col = x; col < x + w && col < width && col < other.width; ++col)
                for (int c = 0; c < 3; ++c)
                    sum += std::abs(int(at(col, row)[c]) - int(other.at(col, row)[c]));
        return sum;
    }

    bool writePpm(const char* path) const
    {
        FILE* f = std::fopen(path, "wb");
        if (!f) return false;
        std::fprintf(f, "P6\n%d %d\n255\n", width, height);
        const bool ok = std::fwrite(rgb.data(), 1, rgb.size(), f) == rgb.size();
        return std::fclose(f) == 0 && ok;
    }

    // An empty image when the file is missing or no binary 8-bit PPM.
    static RgbImage readPpm(const char* path)
    {
        RgbImage out;
        FILE* f = std::fopen(path, "rb");
        if (!f) return out;
        int maxValue = 0;
        if (std::fscanf(f, "P6 %d %d %d", &out.width, &out.height, &maxValue) == 3 && maxValue == 255 &&
            std::fgetc(f) != EOF && out.width > 0 && out.height > 0 && out.width < 10000 &&
            out.height < 10000) {
            out.rgb.resize(static_cast<std::size_t>(out.width) * out.height * 3);
            if (std::fread(out.rgb.data(), 1, out.rgb.size(), f) != out.rgb.size()) out = RgbImage{};
        } else {
            out = RgbImage{};
        }
        std::fclose(f);
        return out;
    }
};

}  // namespace valvora::test
