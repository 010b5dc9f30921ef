// An owner of one system resource (a descriptor, a handle), shared by the
// native layers: it releases the resource when it goes out of scope, so that
// no path through a function leaves one open. `Traits` names the resource's
// type, the value that holds none, whether a value is one to release, and
// how to release it.
#pragma once

template <typename Traits>
class ScopedResource {
 public:
  using Value = typename Traits::Value;

  ScopedResource() = default;
  explicit ScopedResource(Value value) : value_(value) {}
  ~ScopedResource() { reset(); }
  ScopedResource(ScopedResource&& other) noexcept : value_(other.release()) {}
  ScopedResource& operator=(ScopedResource&& other) noexcept {
    if (this != &other) reset(other.release());
    return *this;
  }
  ScopedResource(const ScopedResource&) = delete;
  ScopedResource& operator=(const ScopedResource&) = delete;

  Value get() const { return value_; }
  explicit operator bool() const { return Traits::held(value_); }
  // Hands the resource over to a caller that releases it (and wants to know
  // how that went); the owner holds none afterwards.
  Value release() {
    const Value value = value_;
    value_ = Traits::none();
    return value;
  }
  // Releases what it holds, if anything, and takes `value`. The release's
  // result is of no interest here: whoever needs it releases a released value.
  void reset(Value value = Traits::none()) {
    if (Traits::held(value_)) Traits::close(value_);
    value_ = value;
  }

 private:
  Value value_ = Traits::none();
};
