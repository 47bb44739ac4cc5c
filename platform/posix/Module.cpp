#include "platform/Module.h"

#include <dlfcn.h>

#include <atomic>
#include <cstring>

namespace valvora::platform {

namespace {
std::atomic<void*> storedHandle{nullptr};
std::atomic<const EmbeddedResource*> resourceTable{nullptr};
std::atomic<std::size_t> resourceCount{0};
}  // namespace

void setModuleHandle(void* handle) noexcept { storedHandle.store(handle); }
void* moduleHandle() noexcept { return storedHandle.load(); }

std::size_t moduleFileName(char* buffer, std::size_t size) noexcept
{
    if (!buffer || size == 0) return 0;
    Dl_info info{};
    const char* path = "";
    if (dladdr(reinterpret_cast<void*>(&moduleFileName), &info) && info.dli_fname) path = info.dli_fname;
    const char* slash = std::strrchr(path, '/');
    const char* name = slash ? slash + 1 : path;
    std::size_t length = std::strlen(name);
    if (length >= size) length = size - 1;
    std::memcpy(buffer, name, length);
    buffer[length] = '\0';
    return length;
}

void registerEmbeddedResources(const EmbeddedResource* table, std::size_t count) noexcept
{
    resourceCount.store(count);
    resourceTable.store(table);
}

ResourceBytes findResource(int id, const char* type) noexcept
{
    const EmbeddedResource* table = resourceTable.load();
    const std::size_t count = resourceCount.load();
    if (!table || !type) return {};
    for (std::size_t i = 0; i < count; ++i)
        if (table[i].id == id && std::strcmp(table[i].type, type) == 0) return {table[i].data, table[i].size};
    return {};
}

}  // namespace valvora::platform
