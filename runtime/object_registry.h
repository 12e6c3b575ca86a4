// Numbered object registry: maps the small numbers a program chooses (file 0,
// window 0, widget 1, ...) to entry records of one kind.
//
// An Entry is default-constructible and says whether it holds a live object
// through `bool live() const`. Releasing a number resets its record to a
// default-constructed one (the record itself is kept and reused), so any
// resource an Entry owns through RAII is freed by the reset as well.
//
// Number -1 asks for an automatic number. Automatic numbers are negative
// (-2, -3, ...) and never collide with chosen numbers, which are >= 0; an
// unknown automatic number simply finds nothing.
#pragma once

#include <climits>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <vector>

namespace runtime {

template <typename Entry>
class ObjectRegistry {
 public:
  using ReleaseCallback = std::function<void(int number)>;

  struct Found {
    int number;
    Entry* entry;
  };

  // Capacity and growth step both equal initial_count.
  explicit ObjectRegistry(int initial_count, ReleaseCallback release = {})
      : growth_step_(initial_count > 0 ? initial_count : 1),
        slots_(static_cast<size_t>(growth_step_)),
        release_(std::move(release)) {}

  // Returns the entry record of number with the number it goes by,
  // creating the record on first use. A number whose record already exists
  // first goes through the release callback, so a live object under it is
  // closed before the caller builds the new one. Number -1 creates an
  // automatic entry and gives the number chosen for it. The entry is null
  // for a number below -1.
  Found allocate(int number) {
    if (number == -1) return allocate_automatic();
    if (number < 0) return {number, nullptr};
    if (number >= capacity()) slots_.resize(static_cast<size_t>(number) + growth_step_);
    auto& slot = slots_[static_cast<size_t>(number)];
    if (!slot) {
      slot = std::make_unique<Entry>();
      return {number, slot.get()};
    }
    if (release_) release_(number);
    return {number, slot.get()};
  }

  // The live entry under number, or nullptr. Never creates anything.
  Entry* find(int number) const {
    Entry* entry = record(number);
    return entry && entry->live() ? entry : nullptr;
  }

  // Clears a numbered entry (its record is kept) or frees an automatic one.
  // The release callback is not called: this is what the callbacks end with.
  void release(int number) {
    if (number >= 0 && number < capacity()) {
      if (auto& slot = slots_[static_cast<size_t>(number)]) *slot = Entry{};
      return;
    }
    automatic_.erase(number);
  }

  // Calls the release callback for every live entry: numbered ones in
  // ascending order, then automatic ones from the oldest to the newest.
  void release_all() {
    if (!release_) return;
    rewind();
    while (auto found = next()) release_(found->number);
  }

  void rewind() {
    iteration_index_ = 0;
    iteration_automatic_.reset();
  }

  // The cursor moves past an entry before returning it, so the caller may
  // release that entry (or any other) while the iteration goes on.
  std::optional<Found> next() {
    while (iteration_index_ < capacity()) {
      int number = iteration_index_++;
      if (Entry* entry = find(number)) return Found{number, entry};
    }
    // Automatic numbers count down, so older entries have larger numbers.
    auto it = iteration_automatic_ ? automatic_.lower_bound(*iteration_automatic_)
                                   : automatic_.end();
    while (it != automatic_.begin()) {
      --it;
      iteration_automatic_ = it->first;
      if (it->second->live()) return Found{it->first, it->second.get()};
    }
    iteration_automatic_ = INT_MIN;
    return std::nullopt;
  }

  int capacity() const { return static_cast<int>(slots_.size()); }

 private:
  Entry* record(int number) const {
    if (number >= 0 && number < capacity()) return slots_[static_cast<size_t>(number)].get();
    auto it = automatic_.find(number);
    return it == automatic_.end() ? nullptr : it->second.get();
  }

  Found allocate_automatic() {
    int number = next_automatic_;
    while (automatic_.count(number)) number = number == INT_MIN ? -2 : number - 1;
    next_automatic_ = number == INT_MIN ? -2 : number - 1;
    auto& entry = automatic_[number];
    entry = std::make_unique<Entry>();
    return {number, entry.get()};
  }

  int growth_step_;
  std::vector<std::unique_ptr<Entry>> slots_;
  std::map<int, std::unique_ptr<Entry>> automatic_;
  ReleaseCallback release_;
  int next_automatic_ = -2;
  int iteration_index_ = 0;
  std::optional<int> iteration_automatic_;
};

}  // namespace runtime
