#include "plugin/ProgramBank.h"

#include <cstring>

namespace valvora {

namespace {
// Values in parameter order: Enable, Channel, Normal Vol, Drive Volume, Gain,
// Bass, Middle, Treble, Reverb, Channels, Oversample, SpeakerSim, TubeMode, SpeakerMode.
constexpr ProgramRecord factory[ProgramBank::programCount] = {
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

bool validProgram(int program) { return static_cast<unsigned>(program) < ProgramBank::programCount; }
}  // namespace

const ProgramRecord& factoryProgram(int program) noexcept
{
    return factory[validProgram(program) ? program : 0];
}

ProgramBank& ProgramBank::shared() noexcept
{
    static ProgramBank bank;
    return bank;
}

ProgramBank::ProgramBank() noexcept { std::memcpy(records_, factory, sizeof(records_)); }

void ProgramBank::restoreFactoryPrograms() noexcept
{
    platform::ScopedLock hold(lock_);
    std::memcpy(records_, factory, sizeof(records_));
}

void ProgramBank::storeValues(int program, const float (&values)[parameterCount]) noexcept
{
    if (!validProgram(program)) return;
    platform::ScopedLock hold(lock_);
    std::memcpy(records_[program].values, values, sizeof(values));
}

void ProgramBank::loadValues(int program, float (&values)[parameterCount]) const noexcept
{
    if (!validProgram(program)) {
        std::memset(values, 0, sizeof(values));
        return;
    }
    platform::ScopedLock hold(lock_);
    std::memcpy(values, records_[program].values, sizeof(values));
}

void ProgramBank::setName(int program, const char* name) noexcept
{
    if (!validProgram(program) || !name) return;
    const std::size_t length = strnlen(name, nameLength);
    platform::ScopedLock hold(lock_);
    char* field = records_[program].name;
    std::memcpy(field, name, length);
    std::memset(field + length, 0, nameLength - length);
}

void ProgramBank::getName(int program, char (&name)[nameLength]) const noexcept
{
    if (!validProgram(program)) {
        std::memset(name, 0, nameLength);
        return;
    }
    platform::ScopedLock hold(lock_);
    std::memcpy(name, records_[program].name, nameLength);
}

}  // namespace valvora
