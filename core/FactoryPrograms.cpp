#include "core/FactoryPrograms.h"

namespace valvora {

namespace {
// Values in parameter order: Enable, Channel, Normal Vol, Drive Volume, Gain,
// Bass, Middle, Treble, Reverb, Channels, Oversample, SpeakerSim, TubeMode, SpeakerMode.
constexpr ProgramRecord factory[factoryProgramCount] = {
    {"Default", {1, 0, 0.4f, 0.33f, 0.2f, 0.5f, 0.2f, 0.9f, 0.5f, 1, 0, 1, 0, 0}},
    {"Cold and Clean", {1, 0, 0.4f, 0.33f, 0.2f, 0.5f, 0.2f, 1, 0.5f, 1, 0, 1, 0, 0}},
    {"Smooth Clean", {1, 0, 0.4f, 0.33f, 0.2f, 0.5f, 0.6f, 0.5f, 0.5f, 1, 0, 1, 0, 1}},
    {"Crunch", {1, 1, 0.35f, 0.5f, 0.1f, 1, 0.6f, 0.7f, 0.2f, 1, 0, 1, 1, 0}},
    {"Mild Overdrive", {1, 1, 0.33f, 0.5f, 0.3f, 0.5f, 0.5f, 0.5f, 0.2f, 1, 0, 1, 1, 0}},
    {"Hard Rock", {1, 1, 0.33f, 0.45f, 0.5f, 0.5f, 0.3f, 0.5f, 0, 0, 1, 1, 1, 1}},
    {"Hi-Gain", {1, 1, 0.33f, 0.42f, 0.8f, 0.5f, 0.4f, 0.5f, 0.2f, 1, 0, 1, 0, 1}},
    {"Authentic Solo", {1, 1, 0.33f, 0.4f, 0.7f, 0.5f, 0.6f, 0.5f, 1, 1, 1, 1, 0, 1}},
    {"Modern", {1, 1, 0.33f, 0.4f, 1, 0.7f, 0.2f, 0.5f, 0, 0, 1, 1, 1, 1}},
    {"Modern Scoop", {1, 1, 0.33f, 0.4f, 1, 0.4f, 0.1f, 0.5f, 0, 0, 1, 1, 1, 0}},
    {"Tube Shred", {1, 1, 0.33f, 0.4f, 1, 0.4f, 0.4f, 0.5f, 0.9f, 1, 1, 1, 1, 1}},
    {"Default1", {1, 0, 0.33f, 0.33f, 0.2f, 0.5f, 0.5f, 0.5f, 0, 0, 0, 1, 0, 1}},
    {"Default2", {1, 0, 0.33f, 0.33f, 0.2f, 0.5f, 0.5f, 0.5f, 0, 0, 0, 1, 0, 1}},
    {"Default3", {1, 0, 0.33f, 0.33f, 0.2f, 0.5f, 0.5f, 0.5f, 0, 0, 0, 1, 0, 1}},
    {"Default4", {1, 0, 0.33f, 0.33f, 0.2f, 0.5f, 0.5f, 0.5f, 0, 0, 0, 1, 0, 1}},
    {"Default5", {1, 0, 0.33f, 0.33f, 0.2f, 0.5f, 0.5f, 0.5f, 0, 0, 0, 1, 0, 1}},
};

}  // namespace

const ProgramRecord& factoryProgram(int program) noexcept
{
    return factory[static_cast<unsigned>(program) < factoryProgramCount ? program : 0];
}

}  // namespace valvora
