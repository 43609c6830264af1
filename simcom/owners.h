// Owners for the few Windows handles the simulated component keeps. A file
// handle is empty at INVALID_HANDLE_VALUE, every other kernel handle at null,
// so they are different types and cannot be mixed up.
#pragma once

#include <windows.h>

#include <utility>

namespace simcom {

template <typename Traits>
class UniqueOwner {
public:
    using Value = typename Traits::Value;

    UniqueOwner() = default;
    explicit UniqueOwner(Value value) : value_(value) {}
    UniqueOwner(const UniqueOwner&) = delete;
    UniqueOwner& operator=(const UniqueOwner&) = delete;
    UniqueOwner(UniqueOwner&& other) noexcept : value_(std::exchange(other.value_, Traits::Empty())) {}
    UniqueOwner& operator=(UniqueOwner&& other) noexcept {
        if (this != &other) {
            Reset(std::exchange(other.value_, Traits::Empty()));
        }
        return *this;
    }
    ~UniqueOwner() { Reset(); }

    Value Get() const { return value_; }
    explicit operator bool() const { return value_ != Traits::Empty(); }
    void Reset(Value value = Traits::Empty()) {
        if (value_ != Traits::Empty()) {
            Traits::Close(value_);
        }
        value_ = value;
    }
    Value* Put() {
        Reset();
        return &value_;
    }

private:
    Value value_ = Traits::Empty();
};

struct KernelHandleTraits {
    using Value = HANDLE;
    static Value Empty() { return nullptr; }
    static void Close(Value value) { ::CloseHandle(value); }
};

struct FileHandleTraits {
    using Value = HANDLE;
    static Value Empty() { return INVALID_HANDLE_VALUE; }
    static void Close(Value value) { ::CloseHandle(value); }
};

struct RegistryKeyTraits {
    using Value = HKEY;
    static Value Empty() { return nullptr; }
    static void Close(Value value) { ::RegCloseKey(value); }
};

using KernelHandle = UniqueOwner<KernelHandleTraits>;
using FileHandle = UniqueOwner<FileHandleTraits>;
using RegistryKey = UniqueOwner<RegistryKeyTraits>;

}  // namespace simcom
