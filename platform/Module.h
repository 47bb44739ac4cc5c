#pragma once
// The loaded module itself: its instance handle (stored by the module's entry
// on Windows), its file name and the images compiled into it.

#include <cstddef>

namespace valvora::platform {

void setModuleHandle(void* handle) noexcept;
void* moduleHandle() noexcept;

// The module's file name without its folder, e.g. "ValvoraQX70.dll".
// Writes at most size-1 characters and a terminator; returns the length.
std::size_t moduleFileName(char* buffer, std::size_t size) noexcept;

struct ResourceBytes {
    const unsigned char* data = nullptr;
    std::size_t size = 0;
    explicit operator bool() const noexcept { return data != nullptr && size > 0; }
};

// A resource of the given type and numeric id ("PNG", 127); empty if absent.
ResourceBytes findResource(int id, const char* type) noexcept;

// Linux keeps its images in a table linked into the module; the table's
// owner registers it once at static initialisation.
struct EmbeddedResource {
    int id;
    const char* type;
    const unsigned char* data;
    std::size_t size;
};
void registerEmbeddedResources(const EmbeddedResource* table, std::size_t count) noexcept;

}  // namespace valvora::platform
