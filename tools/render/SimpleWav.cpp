#include "tools/render/SimpleWav.h"

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>

namespace valvora::render {

namespace {

constexpr std::uint16_t kFormatPcm = 1, kFormatFloat = 3, kFormatExtensible = 0xFFFE;

std::uint32_t le32(const unsigned char* p) { return p[0] | (p[1] << 8) | (p[2] << 16) | (std::uint32_t(p[3]) << 24); }
std::uint16_t le16(const unsigned char* p) { return static_cast<std::uint16_t>(p[0] | (p[1] << 8)); }

double decodeSample(const unsigned char* p, std::uint16_t format, int bits)
{
    if (format == kFormatFloat) {
        float f;
        std::memcpy(&f, p, sizeof(f));
        return f;
    }
    if (bits == 16) return static_cast<std::int16_t>(le16(p)) / 32768.0;
    // 24-bit: placed in the top three bytes so the sign comes along.
    const auto v = static_cast<std::int32_t>((std::uint32_t(p[0]) << 8) | (std::uint32_t(p[1]) << 16) |
                                             (std::uint32_t(p[2]) << 24));
    return v / 2147483648.0;
}

void put32(std::string& s, std::uint32_t v)
{
    for (int i = 0; i < 4; ++i) s += static_cast<char>((v >> (8 * i)) & 0xFF);
}
void put16(std::string& s, std::uint16_t v)
{
    s += static_cast<char>(v & 0xFF);
    s += static_cast<char>(v >> 8);
}

}  // namespace

bool readWav(const std::string& path, WavAudio& audio, std::string& error)
{
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        error = "cannot open " + path;
        return false;
    }
    const std::vector<unsigned char> bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    if (bytes.size() < 12 || std::memcmp(bytes.data(), "RIFF", 4) != 0 || std::memcmp(&bytes[8], "WAVE", 4) != 0) {
        error = path + " is not a WAV file";
        return false;
    }
    std::uint16_t format = 0, channels = 0, bits = 0;
    for (std::size_t at = 12; at + 8 <= bytes.size();) {
        const std::uint32_t size = le32(&bytes[at + 4]);
        const unsigned char* body = &bytes[at + 8];
        if (at + 8 + size > bytes.size()) break;
        if (std::memcmp(&bytes[at], "fmt ", 4) == 0 && size >= 16) {
            format = le16(body);
            channels = le16(body + 2);
            audio.sampleRate = static_cast<int>(le32(body + 4));
            bits = le16(body + 14);
            if (format == kFormatExtensible && size >= 26) format = le16(body + 24);
        } else if (std::memcmp(&bytes[at], "data", 4) == 0) {
            const bool supported = channels > 0 && ((format == kFormatFloat && bits == 32) ||
                                                     (format == kFormatPcm && (bits == 16 || bits == 24)));
            if (!supported) {
                error = path + ": only 16/24-bit PCM and 32-bit float WAV are supported";
                return false;
            }
            const std::size_t width = bits / 8, frames = size / (width * channels);
            audio.planes.assign(channels, std::vector<double>(frames));
            for (std::size_t i = 0; i < frames; ++i)
                for (std::size_t c = 0; c < channels; ++c)
                    audio.planes[c][i] = decodeSample(body + (i * channels + c) * width, format, bits);
            return true;
        }
        at += 8 + size + (size & 1);
    }
    error = path + " has no audio data";
    return false;
}

bool writeFloatWav(const std::string& path, const WavAudio& audio, std::string& error)
{
    const auto channels = static_cast<std::uint16_t>(audio.planes.size());
    const auto dataBytes = static_cast<std::uint32_t>(audio.frames() * channels * 4);
    std::string out;
    out.reserve(44 + dataBytes);
    out += "RIFF";
    put32(out, 36 + dataBytes);
    out += "WAVEfmt ";
    put32(out, 16);
    put16(out, kFormatFloat);
    put16(out, channels);
    put32(out, static_cast<std::uint32_t>(audio.sampleRate));
    put32(out, static_cast<std::uint32_t>(audio.sampleRate) * channels * 4);
    put16(out, static_cast<std::uint16_t>(channels * 4));
    put16(out, 32);
    out += "data";
    put32(out, dataBytes);
    for (std::size_t i = 0; i < audio.frames(); ++i)
        for (const auto& plane : audio.planes) {
            const auto f = static_cast<float>(plane[i]);
            char raw[4];
            std::memcpy(raw, &f, 4);
            out.append(raw, 4);
        }
    const std::string temporary = path + ".partial";
    {
        std::ofstream file(temporary, std::ios::binary | std::ios::trunc);
        file.write(out.data(), static_cast<std::streamsize>(out.size()));
        if (!file) {
            std::remove(temporary.c_str());
            error = "cannot write " + path;
            return false;
        }
    }
    std::remove(path.c_str());  // Windows will not rename over an existing file
    if (std::rename(temporary.c_str(), path.c_str()) != 0) {
        std::remove(temporary.c_str());
        error = "cannot write " + path;
        return false;
    }
    return true;
}

}  // namespace valvora::render
