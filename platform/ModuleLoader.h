#pragma once
// Loads a plug-in module file the way a host does (dlopen / LoadLibrary) and
// looks up its exported symbols. Used by the test host and the render tool;
// the plug-in itself never loads modules.

namespace valvora::platform {

class LoadedModule {
public:
    LoadedModule() = default;
    explicit LoadedModule(const char* path) noexcept { open(path); }
    ~LoadedModule() { close(); }
    LoadedModule(const LoadedModule&) = delete;
    LoadedModule& operator=(const LoadedModule&) = delete;

    bool open(const char* path) noexcept;
    void close() noexcept;
    bool isOpen() const noexcept { return handle_ != nullptr; }
    void* symbol(const char* name) const noexcept;
    // The loader's own explanation of the last failure (may be empty).
    const char* lastError() const noexcept { return error_; }

private:
    void* handle_ = nullptr;
    char error_[256] = {};
};

}  // namespace valvora::platform
