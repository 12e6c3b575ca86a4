// One owner for every C handle: Owned<T, free_function> is a unique_ptr
// that gives the handle back with the library's own free function, e.g.
// Owned<FILE, fclose>, Owned<GtkTreePath, gtk_tree_path_free>.
#pragma once

#include <memory>

namespace runtime {

template <auto Free>
struct FreeWith {
  template <typename T>
  void operator()(T* handle) const noexcept {
    Free(handle);
  }
};

template <typename T, auto Free>
using Owned = std::unique_ptr<T, FreeWith<Free>>;

}  // namespace runtime
