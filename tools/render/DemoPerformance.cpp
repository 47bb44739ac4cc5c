#include "tools/render/DemoPerformance.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <numbers>

#include "tools/render/PluckedString.h"

namespace valvora::render {

namespace {

constexpr int kStrings = 6;
// Standard tuning, low E to high E, as MIDI note numbers.
constexpr std::array<int, kStrings> kOpenStrings = {40, 45, 50, 55, 59, 64};
constexpr double kStrumSpread = 0.012;  // seconds between strings in a strum
constexpr double kPickupHighPassHz = 20.0;

double noteFrequency(int midi) { return 440.0 * std::pow(2.0, (midi - 69) / 12.0); }

struct Bend {
    double start = 0.0, rise = 0.0, semitones = 0.0;
    double vibratoStart = 0.0, vibratoHz = 0.0, vibratoSemitones = 0.0;
    double releaseStart = 0.0, releaseTime = 0.0;
    bool active() const { return semitones != 0.0; }
    double ratio(double t) const
    {
        double semis = 0.0;
        if (t > start) semis = semitones * std::min(1.0, (t - start) / rise);
        if (t > vibratoStart && t < releaseStart)
            semis += vibratoSemitones * std::sin(2.0 * std::numbers::pi * vibratoHz * (t - vibratoStart));
        if (t > releaseStart) semis *= std::max(0.0, 1.0 - (t - releaseStart) / releaseTime);
        return std::pow(2.0, semis / 12.0);
    }
};

struct Note {
    double start = 0.0, length = 0.0;
    int string = 0, midi = 40;
    double velocity = 0.8, sustain = 4.0;
    bool palmMuted = false;
    Bend bend;
};

using Score = std::vector<Note>;

void addSingleNotes(Score& score)
{
    const std::array<std::pair<int, int>, 8> line = {
        {{2, 52}, {3, 55}, {3, 57}, {4, 59}, {4, 62}, {5, 64}, {4, 62}, {4, 59}}};
    for (std::size_t i = 0; i < line.size(); ++i)
        score.push_back({0.05 + 0.5 * static_cast<double>(i), 0.45, line[i].first, line[i].second,
                         0.75 + 0.05 * static_cast<double>(i % 3), 3.0, false, {}});
}

// A chord is one MIDI note per string, -1 for a string not played.
using Chord = std::array<int, kStrings>;

void addStrum(Score& score, double start, double length, const Chord& chord, double velocity, bool down,
              bool palmMuted = false, double sustain = 5.0)
{
    for (int k = 0; k < kStrings; ++k) {
        const int string = down ? k : kStrings - 1 - k;
        const int midi = chord[static_cast<std::size_t>(string)];
        if (midi < 0) continue;
        const double offset = kStrumSpread * static_cast<double>(k);
        score.push_back({start + offset, length - offset, string, midi, velocity, sustain, palmMuted, {}});
    }
}

void addChords(Score& score)
{
    const Chord e = {40, 47, 52, 56, 59, 64}, a = {-1, 45, 52, 57, 61, 64}, d = {-1, -1, 50, 57, 62, 66};
    const std::array<Chord, 4> progression = {e, a, d, e};
    for (std::size_t i = 0; i < progression.size(); ++i) {
        const double bar = DemoPerformance::kShowcaseChordTime + static_cast<double>(i);
        addStrum(score, bar, 0.5, progression[i], 0.9, true);
        Chord upper = progression[i];
        upper[0] = upper[1] = -1;  // up-strums catch only the treble strings
        addStrum(score, bar + 0.5, 0.5, upper, 0.6, false);
    }
}

void addChugs(Score& score)
{
    const Chord muted = {40, 47, 52, -1, -1, -1};
    const Chord g5 = {43, 50, 55, -1, -1, -1}, a5 = {45, 52, 57, -1, -1, -1};
    // Eighth-note chugs with open accents every bar: chug x4, G5, chug x2, A5, chug x2, E5 ringing.
    for (int i = 0; i < 16; ++i) {
        const double t = 8.0 + 0.25 * i;
        if (i == 4) addStrum(score, t, 0.5, g5, 0.95, true);
        else if (i == 8) addStrum(score, t, 0.5, a5, 0.95, true);
        else if (i == 12) addStrum(score, t, 1.0, muted, 1.0, true);
        else if (i < 12 && i % 4 != 1) addStrum(score, t, 0.25, muted, 0.85, true, true);
    }
}

void addBend(Score& score)
{
    // A held, bent note rings long: the fretting hand keeps the string pressed.
    Note note{12.1, 4.2, 3, 59, 1.0, 15.0, false, {}};
    note.bend = {12.45, 0.35, 2.0, 13.2, 5.5, 0.25, 15.6, 0.3};
    score.push_back(note);
}

void addFinalChord(Score& score)
{
    addStrum(score, 16.6, 3.1, {40, 47, 52, 55, 59, 64}, 0.95, true, false, 9.0);  // let ring
}

Score buildScore()
{
    Score score;
    addSingleNotes(score);
    addChords(score);
    addChugs(score);
    addBend(score);
    addFinalChord(score);
    std::stable_sort(score.begin(), score.end(), [](const Note& x, const Note& y) { return x.start < y.start; });
    return score;
}

}  // namespace

std::vector<double> DemoPerformance::synthesize(double sampleRate, double seconds)
{
    const Score score = buildScore();
    const auto total = static_cast<std::size_t>(kSeconds * sampleRate);
    std::vector<double> out(total, 0.0);

    std::vector<PluckedString> strings;
    for (int s = 0; s < kStrings; ++s)
        strings.emplace_back(sampleRate, noteFrequency(kOpenStrings[static_cast<std::size_t>(s)]));
    std::array<const Note*, kStrings> sounding{};

    std::size_t nextNote = 0;
    std::uint32_t seed = 12345;
    const double hpCoefficient = std::exp(-2.0 * std::numbers::pi * kPickupHighPassHz / sampleRate);
    double hpIn = 0.0, hpOut = 0.0;
    for (std::size_t n = 0; n < total; ++n) {
        const double t = static_cast<double>(n) / sampleRate;
        while (nextNote < score.size() && score[nextNote].start <= t) {
            const Note& note = score[nextNote++];
            auto& string = strings[static_cast<std::size_t>(note.string)];
            seed = seed * 69069u + 1u;
            string.pluck({noteFrequency(note.midi), note.velocity, note.sustain, 0.13 + 0.02 * note.string,
                          note.palmMuted},
                         seed);
            sounding[static_cast<std::size_t>(note.string)] = &note;
        }
        double sum = 0.0;
        for (int s = 0; s < kStrings; ++s) {
            const Note* note = sounding[static_cast<std::size_t>(s)];
            auto& string = strings[static_cast<std::size_t>(s)];
            if (note && t >= note->start + note->length) string.release();
            if (note && note->bend.active()) string.setPitchRatio(note->bend.ratio(t));
            sum += string.next();
        }
        // The pickup and input coupling pass no DC.
        hpOut = hpCoefficient * (hpOut + sum - hpIn);
        hpIn = sum;
        out[n] = hpOut;
    }

    double peak = 0.0;
    for (double x : out) peak = std::max(peak, std::fabs(x));
    if (peak > 0.0)
        for (double& x : out) x *= kPeak / peak;
    if (seconds > 0.0 && seconds < kSeconds) out.resize(static_cast<std::size_t>(seconds * sampleRate));
    return out;
}

}  // namespace valvora::render
