#include "platform/Module.h"

#include <windows.h>

#include <atomic>
#include <cstring>

namespace valvora::platform {

namespace {
std::atomic<void*> storedHandle{nullptr};
}

void setModuleHandle(void* handle) noexcept { storedHandle.store(handle); }
void* moduleHandle() noexcept { return storedHandle.load(); }

std::size_t moduleFileName(char* buffer, std::size_t size) noexcept
{
    if (!buffer || size == 0) return 0;
    char path[MAX_PATH + 1] = {};
    GetModuleFileNameA(static_cast<HMODULE>(moduleHandle()), path, MAX_PATH);
    const char* slash = std::strrchr(path, '\\');
    const char* name = slash ? slash + 1 : path;
    std::size_t length = std::strlen(name);
    if (length >= size) length = size - 1;
    std::memcpy(buffer, name, length);
    buffer[length] = '\0';
    return length;
}

void registerEmbeddedResources(const EmbeddedResource*, std::size_t) noexcept {}

ResourceBytes findResource(int id, const char* type) noexcept
{
    auto module = static_cast<HMODULE>(moduleHandle());
    HRSRC info = FindResourceA(module, MAKEINTRESOURCEA(id), type);
    if (!info) return {};
    const DWORD size = SizeofResource(module, info);
    HGLOBAL loaded = LoadResource(module, info);
    if (!loaded || size == 0) return {};
    const void* bytes = LockResource(loaded);
    if (!bytes) return {};
    return {static_cast<const unsigned char*>(bytes), size};
}

}  // namespace valvora::platform
