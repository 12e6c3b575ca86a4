// The system's colours (0xBBGGRR) in the toolkit's terms.
#pragma once

#include <gdk/gdk.h>

#include <cstdint>

namespace gtk {

// Each 8-bit channel becomes c x 256, the toolkit's 16-bit channel.
inline GdkColor toolkit_colour(int32_t colour) {
  const auto channel = [colour](int shift) {
    return static_cast<guint16>(((static_cast<uint32_t>(colour) >> shift) & 0xFF) << 8);
  };
  GdkColor result{};
  result.red = channel(0);
  result.green = channel(8);
  result.blue = channel(16);
  return result;
}

}  // namespace gtk
