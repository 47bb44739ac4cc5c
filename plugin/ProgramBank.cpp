#include "plugin/ProgramBank.h"

#include <cstring>

namespace valvora {

namespace {
bool validProgram(int program) { return static_cast<unsigned>(program) < ProgramBank::programCount; }

void copyFactoryPrograms(ProgramRecord (&records)[ProgramBank::programCount]) noexcept
{
    for (int i = 0; i < ProgramBank::programCount; ++i) records[i] = factoryProgram(i);
}
}  // namespace

ProgramBank& ProgramBank::shared() noexcept
{
    static ProgramBank bank;
    return bank;
}

ProgramBank::ProgramBank() noexcept { copyFactoryPrograms(records_); }

void ProgramBank::restoreFactoryPrograms() noexcept
{
    platform::ScopedLock hold(lock_);
    copyFactoryPrograms(records_);
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
