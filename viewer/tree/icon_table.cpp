#include "tree/icon_table.h"

#include <new>

namespace tree {

IconTable::~IconTable() {
  if (!keeper_.release) return;
  for (const Icon& icon : icons_)
    if (icon.handle) keeper_.release(icon.handle);
}

uint32_t IconTable::take_slot(IconHandle handle) {
  auto found = icon_slots_.find(handle);
  if (found != icon_slots_.end()) {
    ++icons_[found->second].uses;
    return found->second;
  }
  uint32_t slot;
  if (!free_icons_.empty()) {
    slot = free_icons_.back();
    free_icons_.pop_back();
  } else {
    if (icons_.size() >= SlotLimit) return 0;
    icons_.emplace_back();
    slot = static_cast<uint32_t>(icons_.size() - 1);
  }
  icon_slots_.emplace(handle, slot);
  // One reference per distinct icon keeps it alive for every row that shows
  // it, even after the image it came from is released.
  if (keeper_.keep) keeper_.keep(handle);
  icons_[slot].handle = handle;
  icons_[slot].uses = 1;
  return slot;
}

void IconTable::drop(uint32_t slot) {
  if (slot == 0) return;
  Icon& icon = icons_[slot];
  if (--icon.uses > 0) return;
  icon_slots_.erase(icon.handle);
  if (keeper_.release) keeper_.release(icon.handle);
  icon.handle = nullptr;
  try {
    free_icons_.push_back(slot);
  } catch (const std::bad_alloc&) {
    // The empty slot is simply never reused.
  }
}

}  // namespace tree
