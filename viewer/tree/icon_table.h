// The icons the tree store's items show, by reference: each distinct icon
// has a slot with a count of the items using it, so that a node keeps a
// small slot number and the caller's icon is kept alive once, however many
// rows show it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <unordered_map>
#include <vector>

namespace tree {

// An icon as the caller knows it (a toolkit image); the table only counts
// its uses. IconKeeper takes a reference for the table when an icon is first
// used and gives it back when the last use goes.
using IconHandle = void*;
struct IconKeeper {
  void (*keep)(IconHandle) = nullptr;
  void (*release)(IconHandle) = nullptr;
};

class IconTable {
 public:
  // Slots fit in this many bits of a node; slot 0 stands for no icon.
  static constexpr unsigned SlotBits = 21;
  static constexpr size_t SlotLimit = size_t{1} << SlotBits;

  explicit IconTable(IconKeeper keeper = {}) : keeper_(keeper) {}
  // Gives back the reference of every icon still used.
  ~IconTable();
  IconTable(const IconTable&) = delete;
  IconTable& operator=(const IconTable&) = delete;

  // One more use of the icon; returns its slot. 0 for no icon, and for a
  // new icon once every slot is taken (the item shows none). Throws
  // std::bad_alloc when the table cannot grow; no reference is taken then.
  uint32_t take(IconHandle handle) { return handle ? take_slot(handle) : 0; }
  // One use fewer of the icon in `slot` (0: none); the last gives the
  // icon's reference back and frees the slot for another icon.
  void drop(uint32_t slot);
  IconHandle handle(uint32_t slot) const { return icons_[slot].handle; }
  // How many uses the icon in `slot` has; 0 for a free slot.
  uint32_t uses(uint32_t slot) const { return icons_[slot].uses; }

 private:
  struct Icon {
    IconHandle handle = nullptr;
    uint32_t uses = 0;
  };

  uint32_t take_slot(IconHandle handle);

  IconKeeper keeper_;
  std::vector<Icon> icons_{1};  // slot 0 stands for no icon
  std::vector<uint32_t> free_icons_;
  std::unordered_map<IconHandle, uint32_t> icon_slots_;
};

}  // namespace tree
