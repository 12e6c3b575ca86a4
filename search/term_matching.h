// When a search term matches a folder path or a file name: both are
// normalised (thirteen accented capitals folded to their small letters, then
// A to Z lowered; nothing else) and the term must occur as one contiguous
// piece of the name. Positions count 16-bit units from 1.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

// The accented capitals that fold, in the order they are applied.
extern const std::array<std::pair<char16_t, char16_t>, 13> accent_fold_table;

// Every non-overlapping occurrence of search (left to right) replaced.
std::u16string replace_all(std::u16string_view text, std::u16string_view search,
                           std::u16string_view replacement);
std::u16string fold_accents(std::u16string_view text);
// Lowers exactly A to Z, as towlower does in the POSIX locale.
std::u16string to_lower(std::u16string_view text);
std::u16string normalise_name(std::u16string_view text);
// Position (from 1) of the first occurrence of search in text, or 0.
int32_t find_text(std::u16string_view text, std::u16string_view search);
bool term_matches(std::u16string_view name, std::u16string_view term);

// Normalises text in place; the same result as normalise_name.
void normalise_in_place(std::u16string& text);

// All terms of one search, normalised once, tested against names that the
// caller has normalised with normalise_in_place: true when any term matches.
class TermMatcher {
 public:
  explicit TermMatcher(const std::vector<std::u16string>& terms);
  bool any_match(std::u16string_view normalised_name) const;
  // The same for a name given as the UTF-8 bytes it was read with; `scratch`
  // holds its decoded form when it needs one. Names of plain ASCII, the most
  // common, are matched on their bytes without being decoded.
  bool any_match_bytes(std::string_view name, std::u16string& scratch) const;

 private:
  std::vector<std::u16string> terms_;  // normalised, non-empty
  // Terms grouped by their first unit: the name is scanned once, and only the
  // terms that start with the unit at hand are compared there.
  std::vector<uint8_t> starts_;  // one flag per 16-bit unit
  std::vector<std::vector<uint32_t>> by_first_unit_;
  std::vector<int32_t> group_of_unit_;
  // The terms that are plain ASCII, as bytes, grouped by their first byte:
  // only they can occur in an ASCII name.
  std::vector<std::string> ascii_terms_;
  std::array<std::vector<uint32_t>, 128> ascii_by_first_byte_;
  // Quick filters: a one-byte term at a byte, and the first two bytes of the
  // longer terms, so that most bytes of a name are passed over at once.
  std::array<bool, 128> ascii_single_{};
  std::vector<bool> ascii_pair_ = std::vector<bool>(128 * 128);
};
