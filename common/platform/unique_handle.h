// A move-only owner of a system handle. `Traits` names the handle type, the
// value that owns nothing (`Empty()`) and how to release it (`Close(h)`,
// true on success). Copying is deleted, since a copy would close twice.
#pragma once

#include <utility>

namespace morsela {

template <typename Traits>
class UniqueHandle {
 public:
  using Handle = typename Traits::Handle;

  UniqueHandle() = default;
  explicit UniqueHandle(Handle h) : handle_(h) {}
  UniqueHandle(UniqueHandle&& other) noexcept : handle_(other.release()) {}
  UniqueHandle& operator=(UniqueHandle&& other) noexcept {
    reset(other.release());
    return *this;
  }
  UniqueHandle(const UniqueHandle&) = delete;
  UniqueHandle& operator=(const UniqueHandle&) = delete;
  ~UniqueHandle() { reset(); }

  Handle get() const { return handle_; }
  explicit operator bool() const { return handle_ != Traits::Empty(); }

  Handle release() { return std::exchange(handle_, Traits::Empty()); }

  // Closes what is held and returns the close's verdict (true when empty).
  bool reset(Handle h = Traits::Empty()) {
    Handle old = std::exchange(handle_, h);
    return old == Traits::Empty() || Traits::Close(old);
  }

 private:
  Handle handle_ = Traits::Empty();
};

}  // namespace morsela
