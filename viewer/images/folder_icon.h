// The viewer's folder icon: a complete 16 x 16 baseline JPEG file kept in the
// program's constant data (made at build time from icon/folder_icon.jpg).
#pragma once

#include <cstddef>

namespace images {

extern const unsigned char folder_icon_data[];
extern const size_t folder_icon_size;

}  // namespace images
