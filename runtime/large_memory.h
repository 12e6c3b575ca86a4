// Memory for large arrays that are filled at once. Blocks of a megabyte and
// more are mapped apart, in whole 2 MB pages that the kernel may back with
// huge pages: on some machines the first touch of every small page is what
// costs the most time when tens of megabytes are filled.
#pragma once

#include <cstddef>
#include <memory_resource>

namespace runtime {

void* allocate_large_block(size_t bytes);
void free_large_block(void* memory, size_t bytes);

// The same as a memory resource, for arenas of many small objects.
class LargeBlockResource : public std::pmr::memory_resource {
 private:
  void* do_allocate(size_t bytes, size_t alignment) override;
  void do_deallocate(void* memory, size_t bytes, size_t alignment) override;
  bool do_is_equal(const std::pmr::memory_resource& other) const noexcept override;
};

}  // namespace runtime
