// Memory for large arrays that are filled at once. Blocks of a megabyte and
// more are mapped apart, in whole 2 MB pages that the kernel may back with
// huge pages: on some machines the first touch of every small page is what
// costs the most time when tens of megabytes are filled.
#pragma once

#include <cstddef>

namespace runtime {

void* allocate_large_block(size_t bytes);
void free_large_block(void* memory, size_t bytes);

}  // namespace runtime
