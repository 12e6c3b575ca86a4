#include "tree/folded_search.h"

#include <glib.h>

#include <algorithm>
#include <cstring>
#include <memory>

namespace tree {

namespace {

struct GFree {
  void operator()(gchar* text) const { g_free(text); }
};
using GText = std::unique_ptr<gchar, GFree>;

// The last place in [begin, end) where `needle` starts, or nullptr.
const char* last_occurrence(const char* begin, const char* end, std::string_view needle) {
  const size_t length = needle.size();
  while (static_cast<size_t>(end - begin) >= length) {
    const auto* candidate = static_cast<const char*>(
        memrchr(begin, static_cast<unsigned char>(needle[0]), static_cast<size_t>(end - begin) - length + 1));
    if (!candidate) return nullptr;
    if (std::memcmp(candidate, needle.data(), length) == 0) return candidate;
    end = candidate + length - 1;
  }
  return nullptr;
}

}  // namespace

std::string fold_text(std::string_view utf8) {
  // Plain ASCII, nearly every name of a real tree, normalises to itself and
  // folds to lower case.
  if (std::all_of(utf8.begin(), utf8.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; })) {
    std::string folded(utf8);
    for (char& c : folded)
      if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return folded;
  }
  const GText normalised(g_utf8_normalize(utf8.data(), static_cast<gssize>(utf8.size()), G_NORMALIZE_ALL));
  if (!normalised) return std::string(utf8);
  const GText folded(g_utf8_casefold(normalised.get(), -1));
  return folded ? std::string(folded.get()) : std::string(normalised.get());
}

void FoldedSearch::forget() {
  std::string().swap(folded_);
  std::vector<uint64_t>().swap(starts_);
}

void FoldedSearch::catch_up(const TreeStore& items) {
  const auto count = static_cast<size_t>(items.count());
  if (items.generation() != generation_ || items.text_changes() != text_changes_ ||
      starts_.size() > count) {
    forget();
    generation_ = items.generation();
    text_changes_ = items.text_changes();
  }
  starts_.reserve(count);
  for (size_t index = starts_.size(); index < count; ++index) {
    starts_.push_back(folded_.size());
    // A zero byte never occurs in a text, so no match runs from one text
    // into the next.
    folded_ += fold_text(items.text(static_cast<int32_t>(index)));
    folded_ += '\0';
  }
}

int32_t FoldedSearch::item_at(size_t offset) const {
  const auto after = std::upper_bound(starts_.begin(), starts_.end(), offset);
  return static_cast<int32_t>(after - starts_.begin()) - 1;
}

int32_t FoldedSearch::next(const TreeStore& items, int32_t after, std::string_view needle) {
  const int32_t count = items.count();
  if (needle.empty() || count == 0) return -1;
  const std::string folded_needle = fold_text(needle);
  if (folded_needle.empty()) return -1;
  catch_up(items);
  if (after < -1 || after >= count) after = -1;
  const size_t from = after + 1 < count ? start(after + 1) : folded_.size();
  const auto search = [&](size_t begin, size_t end) -> int32_t {
    const void* found = memmem(folded_.data() + begin, end - begin, folded_needle.data(), folded_needle.size());
    return found ? item_at(static_cast<size_t>(static_cast<const char*>(found) - folded_.data())) : -1;
  };
  const int32_t found = search(from, folded_.size());
  return found >= 0 ? found : search(0, from);
}

int32_t FoldedSearch::previous(const TreeStore& items, int32_t before, std::string_view needle) {
  const int32_t count = items.count();
  if (needle.empty() || count == 0) return -1;
  const std::string folded_needle = fold_text(needle);
  if (folded_needle.empty()) return -1;
  catch_up(items);
  if (before < 0 || before > count) before = count;
  const size_t to = before < count ? start(before) : folded_.size();
  const char* base = folded_.data();
  const char* found = last_occurrence(base, base + to, folded_needle);
  if (!found) found = last_occurrence(base + to, base + folded_.size(), folded_needle);
  return found ? item_at(static_cast<size_t>(found - base)) : -1;
}

}  // namespace tree
