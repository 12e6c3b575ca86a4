#include "runtime/large_memory.h"

#include <sys/mman.h>

#include <cstdint>
#include <new>

namespace runtime {

namespace {

constexpr size_t HugePage = size_t{2} << 20;
constexpr size_t MappedApart = size_t{1} << 20;

size_t whole_huge_pages(size_t bytes) { return (bytes + HugePage - 1) / HugePage * HugePage; }

}  // namespace

void* allocate_large_block(size_t bytes) {
  if (bytes < MappedApart) return ::operator new(bytes);
  if (bytes > SIZE_MAX - 2 * HugePage) throw std::bad_alloc();
  const size_t length = whole_huge_pages(bytes);
  // Mapped one huge page larger, then trimmed to a huge-page boundary.
  void* mapped = mmap(nullptr, length + HugePage, PROT_READ | PROT_WRITE,
                      MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (mapped == MAP_FAILED) throw std::bad_alloc();
  const auto address = reinterpret_cast<uintptr_t>(mapped);
  const uintptr_t start = (address + HugePage - 1) / HugePage * HugePage;
  const size_t head = start - address;
  if (head > 0) munmap(mapped, head);
  if (HugePage - head > 0) munmap(reinterpret_cast<void*>(start + length), HugePage - head);
  // Only advice: without huge pages the memory works the same, just slower.
  madvise(reinterpret_cast<void*>(start), length, MADV_HUGEPAGE);
  return reinterpret_cast<void*>(start);
}

void free_large_block(void* memory, size_t bytes) {
  if (!memory) return;
  if (bytes < MappedApart) {
    ::operator delete(memory);
    return;
  }
  munmap(memory, whole_huge_pages(bytes));
}

}  // namespace runtime
