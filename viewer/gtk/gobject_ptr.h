// Owning reference to a GObject: unrefs on destruction. `adopt` takes over a
// reference the caller already holds; `share` adds one of its own.
#pragma once

#include <glib-object.h>

#include <utility>

namespace gtk {

template <typename T>
class GObjectPtr {
 public:
  GObjectPtr() = default;
  static GObjectPtr adopt(T* object) { return GObjectPtr(object); }
  static GObjectPtr share(T* object) {
    if (object) g_object_ref(object);
    return GObjectPtr(object);
  }
  GObjectPtr(GObjectPtr&& other) noexcept : object_(std::exchange(other.object_, nullptr)) {}
  GObjectPtr& operator=(GObjectPtr&& other) noexcept {
    if (this != &other) reset(std::exchange(other.object_, nullptr));
    return *this;
  }
  GObjectPtr(const GObjectPtr&) = delete;
  GObjectPtr& operator=(const GObjectPtr&) = delete;
  ~GObjectPtr() { reset(); }

  T* get() const { return object_; }
  explicit operator bool() const { return object_ != nullptr; }
  T* release() { return std::exchange(object_, nullptr); }
  void reset(T* object = nullptr) {
    if (T* old = std::exchange(object_, object)) g_object_unref(old);
  }

 private:
  explicit GObjectPtr(T* object) : object_(object) {}
  T* object_ = nullptr;
};

}  // namespace gtk
