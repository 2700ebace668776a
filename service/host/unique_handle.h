// Owns one handle of any kind and closes it with its closer when the owner goes away.
#pragma once

#include <utility>

namespace kqm {

// Handle: a value type whose default value means "none". Close: a callable taking the handle.
template <typename Handle, typename Close>
class UniqueHandle {
  public:
    explicit UniqueHandle(Close close, Handle handle = Handle{})
        : close_(std::move(close)), handle_(handle) {}
    ~UniqueHandle() { reset(); }
    UniqueHandle(const UniqueHandle&) = delete;
    UniqueHandle& operator=(const UniqueHandle&) = delete;
    UniqueHandle(UniqueHandle&& other) noexcept
        : close_(std::move(other.close_)), handle_(other.release()) {}
    UniqueHandle& operator=(UniqueHandle&& other) noexcept {
        if (this != &other) {
            reset(other.release());
            close_ = std::move(other.close_);
        }
        return *this;
    }

    Handle get() const { return handle_; }
    explicit operator bool() const { return handle_ != Handle{}; }
    Handle release() { return std::exchange(handle_, Handle{}); }
    void reset(Handle handle = Handle{}) {
        const Handle old = std::exchange(handle_, handle);
        if (old != Handle{}) close_(old);
    }

  private:
    Close close_;
    Handle handle_;
};

}  // namespace kqm
