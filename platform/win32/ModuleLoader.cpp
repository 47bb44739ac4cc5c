#include "platform/ModuleLoader.h"

#include <windows.h>

#include <cstdio>

namespace valvora::platform {

bool LoadedModule::open(const char* path) noexcept
{
    close();
    error_[0] = '\0';
    handle_ = path ? LoadLibraryA(path) : nullptr;
    if (!handle_) std::snprintf(error_, sizeof(error_), "LoadLibrary failed with error %lu", GetLastError());
    return handle_ != nullptr;
}

void LoadedModule::close() noexcept
{
    if (handle_) FreeLibrary(static_cast<HMODULE>(handle_));
    handle_ = nullptr;
}

void* LoadedModule::symbol(const char* name) const noexcept
{
    return handle_ ? reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(handle_), name)) : nullptr;
}

}  // namespace valvora::platform
