#pragma once
// Writes 24-bit RGB pixels as a PNG file with stored (uncompressed) deflate
// blocks: enough for test captures, with no image library in the test.

#include <cstdint>
#include <string>
#include <vector>

namespace valvora::test {

// rgb: width * height * 3 bytes, top row first. False if the file failed.
bool writePng(const std::string& path, const std::vector<std::uint8_t>& rgb, int width, int height);

}  // namespace valvora::test
