// Owner of one kernel object handle whose empty value is null (events,
// processes, threads): closes it exactly once.
#pragma once

#include <utility>

#include "platform/platform.h"

class UniqueHandle {
public:
    UniqueHandle() = default;
    explicit UniqueHandle(os::Handle handle) : handle_(handle) {}
    UniqueHandle(const UniqueHandle&) = delete;
    UniqueHandle& operator=(const UniqueHandle&) = delete;
    UniqueHandle(UniqueHandle&& other) noexcept : handle_(std::exchange(other.handle_, nullptr)) {}
    UniqueHandle& operator=(UniqueHandle&& other) noexcept {
        if (this != &other) {
            Reset();
            handle_ = std::exchange(other.handle_, nullptr);
        }
        return *this;
    }
    ~UniqueHandle() { Reset(); }

    os::Handle get() const { return handle_; }
    explicit operator bool() const { return handle_ != nullptr; }

    // Gives the handle up without closing it.
    os::Handle release() { return std::exchange(handle_, nullptr); }

    void Reset() {
        if (handle_ != nullptr) {
            os::CloseHandle(std::exchange(handle_, nullptr));
        }
    }

private:
    os::Handle handle_ = nullptr;
};
