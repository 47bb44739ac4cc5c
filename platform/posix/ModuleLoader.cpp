#include "platform/ModuleLoader.h"

#include <dlfcn.h>

#include <cstdio>

namespace valvora::platform {

bool LoadedModule::open(const char* path) noexcept
{
    close();
    error_[0] = '\0';
    handle_ = path ? dlopen(path, RTLD_NOW | RTLD_LOCAL) : nullptr;
    if (!handle_) {
        const char* why = dlerror();
        std::snprintf(error_, sizeof(error_), "%s", why ? why : "no path");
    }
    return handle_ != nullptr;
}

void LoadedModule::close() noexcept
{
    if (handle_) dlclose(handle_);
    handle_ = nullptr;
}

void* LoadedModule::symbol(const char* name) const noexcept { return handle_ ? dlsym(handle_, name) : nullptr; }

}  // namespace valvora::platform
