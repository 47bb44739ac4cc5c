#pragma once
// A fixed-size, 64-byte aligned, zero-initialised array owned by one object.
// Alignment lets the transforms use whole-vector loads on their own buffers.

#include <algorithm>
#include <cstddef>
#include <new>

namespace valvora {

template <typename T>
class AlignedBuffer {
public:
    static constexpr std::align_val_t alignment{64};

    AlignedBuffer() = default;
    // Throws std::bad_alloc.
    explicit AlignedBuffer(std::size_t count)
        : data_(static_cast<T*>(::operator new(std::max<std::size_t>(count, 1) * sizeof(T), alignment))),
          size_(count)
    {
        std::fill(data_, data_ + size_, T{});
    }
    ~AlignedBuffer() { release(); }
    AlignedBuffer(const AlignedBuffer&) = delete;
    AlignedBuffer& operator=(const AlignedBuffer&) = delete;
    AlignedBuffer(AlignedBuffer&& other) noexcept : data_(other.data_), size_(other.size_)
    {
        other.data_ = nullptr;
        other.size_ = 0;
    }
    AlignedBuffer& operator=(AlignedBuffer&& other) noexcept
    {
        if (this != &other) {
            release();
            data_ = other.data_;
            size_ = other.size_;
            other.data_ = nullptr;
            other.size_ = 0;
        }
        return *this;
    }

    T* data() noexcept { return data_; }
    const T* data() const noexcept { return data_; }
    std::size_t size() const noexcept { return size_; }
    T& operator[](std::size_t i) noexcept { return data_[i]; }
    const T& operator[](std::size_t i) const noexcept { return data_[i]; }
    void clear() noexcept { std::fill(data_, data_ + size_, T{}); }

private:
    void release() noexcept
    {
        if (data_) ::operator delete(data_, alignment);
        data_ = nullptr;
    }

    T* data_ = nullptr;
    std::size_t size_ = 0;
};

}  // namespace valvora
