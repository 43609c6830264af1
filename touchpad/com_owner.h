// Owner of one COM reference: releases it exactly once, when the owner goes.
#pragma once

#include <utility>

template <typename Interface>
class ComOwner {
public:
    ComOwner() = default;
    ComOwner(const ComOwner&) = delete;
    ComOwner& operator=(const ComOwner&) = delete;
    ComOwner(ComOwner&& other) noexcept : object_(std::exchange(other.object_, nullptr)) {}
    ComOwner& operator=(ComOwner&& other) noexcept {
        if (this != &other) {
            Reset();
            object_ = std::exchange(other.object_, nullptr);
        }
        return *this;
    }
    ~ComOwner() { Reset(); }

    Interface* get() const { return object_; }
    Interface* operator->() const { return object_; }
    explicit operator bool() const { return object_ != nullptr; }

    // The address for an out-argument that stores a new reference; whatever
    // was held before is released first.
    void** put_void() {
        Reset();
        return reinterpret_cast<void**>(&object_);
    }

    void Reset() {
        if (object_ != nullptr) {
            std::exchange(object_, nullptr)->Release();
        }
    }

private:
    Interface* object_ = nullptr;
};
