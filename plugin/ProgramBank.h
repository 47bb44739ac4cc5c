#pragma once
// The 16 programs, shared by every plug-in instance in the process for as long
// as the module is loaded: an edit made in one instance is seen by the others.
// Guarded by its own lock, which only host threads take (never the audio thread).

#include <cstddef>

#include "platform/Threading.h"
#include "core/FactoryPrograms.h"

namespace valvora {

class ProgramBank {
public:
    static constexpr int programCount = factoryProgramCount;
    static constexpr std::size_t nameLength = programNameLength;

    // The process-wide bank, with its factory contents on first use.
    static ProgramBank& shared() noexcept;

    // Host threads. Out-of-range program numbers are ignored (reads give zeros).
    void storeValues(int program, const float (&values)[parameterCount]) noexcept;
    void loadValues(int program, float (&values)[parameterCount]) const noexcept;
    void setName(int program, const char* name) noexcept;
    // Copies the 24-byte field as stored (not terminated when 24 long).
    void getName(int program, char (&name)[nameLength]) const noexcept;

    // Restores the factory programs (tests only).
    void restoreFactoryPrograms() noexcept;

private:
    ProgramBank() noexcept;

    mutable platform::CriticalSection lock_;
    ProgramRecord records_[programCount];
};

}  // namespace valvora
