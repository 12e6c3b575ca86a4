#include "term_matching.h"

#include <algorithm>
#include <cstring>

#include "utf8.h"

const std::array<std::pair<char16_t, char16_t>, 13> accent_fold_table = {{
    {u'\u00C0', u'\u00E0'}, {u'\u00C1', u'\u00E1'}, {u'\u00C2', u'\u00E2'}, {u'\u00C3', u'\u00E3'},
    {u'\u00C7', u'\u00E7'}, {u'\u00C9', u'\u00E9'}, {u'\u00CA', u'\u00EA'}, {u'\u00CD', u'\u00ED'},
    {u'\u00D3', u'\u00F3'}, {u'\u00D4', u'\u00F4'}, {u'\u00D5', u'\u00F5'}, {u'\u00DA', u'\u00FA'},
    {u'\u00DC', u'\u00FC'},
}};

namespace {

char16_t lower_unit(char16_t unit) {
  return unit >= u'A' && unit <= u'Z' ? static_cast<char16_t>(unit + (u'a' - u'A')) : unit;
}

// The whole normalisation of one unit. Every fold maps one capital to one
// small letter that no later pair folds again, so folding unit by unit gives
// the same text as the thirteen replacements in turn.
struct NormaliseTable {
  std::array<char16_t, 0x100> latin1{};
  NormaliseTable() {
    for (unsigned u = 0; u < latin1.size(); ++u) latin1[u] = lower_unit(static_cast<char16_t>(u));
    for (auto [capital, small] : accent_fold_table) latin1[capital] = small;
  }
};
const NormaliseTable normalise_table;

char16_t normalise_unit(char16_t unit) { return unit < 0x100 ? normalise_table.latin1[unit] : unit; }

}  // namespace

std::u16string replace_all(std::u16string_view text, std::u16string_view search,
                           std::u16string_view replacement) {
  if (search.empty()) return std::u16string(text);
  std::u16string result;
  result.reserve(text.size());
  size_t from = 0;
  for (size_t at; (at = text.find(search, from)) != text.npos; from = at + search.size()) {
    result.append(text.substr(from, at - from));
    result.append(replacement);
  }
  result.append(text.substr(from));
  return result;
}

std::u16string fold_accents(std::u16string_view text) {
  std::u16string result(text);
  for (auto [capital, small] : accent_fold_table)
    result = replace_all(result, std::u16string_view(&capital, 1), std::u16string_view(&small, 1));
  return result;
}

std::u16string to_lower(std::u16string_view text) {
  std::u16string result(text);
  std::transform(result.begin(), result.end(), result.begin(), lower_unit);
  return result;
}

std::u16string normalise_name(std::u16string_view text) { return to_lower(fold_accents(text)); }

int32_t find_text(std::u16string_view text, std::u16string_view search) {
  if (text.empty() || search.empty()) return 0;
  const size_t at = text.find(search);
  return at == text.npos ? 0 : static_cast<int32_t>(at + 1);
}

bool term_matches(std::u16string_view name, std::u16string_view term) {
  return find_text(normalise_name(name), normalise_name(term)) > 0;
}

void normalise_in_place(std::u16string& text) {
  for (char16_t& unit : text) unit = normalise_unit(unit);
}

TermMatcher::TermMatcher(const std::vector<std::u16string>& terms) : starts_(0x10000, 0) {
  group_of_unit_.assign(0x10000, -1);
  for (const std::u16string& term : terms) {
    if (term.empty()) continue;  // an empty term matches nothing
    std::u16string normalised(term);
    normalise_in_place(normalised);
    const char16_t first = normalised.front();
    if (group_of_unit_[first] < 0) {
      group_of_unit_[first] = static_cast<int32_t>(by_first_unit_.size());
      by_first_unit_.emplace_back();
      starts_[first] = 1;
    }
    by_first_unit_[static_cast<size_t>(group_of_unit_[first])].push_back(
        static_cast<uint32_t>(terms_.size()));
    if (std::all_of(normalised.begin(), normalised.end(), [](char16_t u) { return u < 0x80; })) {
      ascii_by_first_byte_[first].push_back(static_cast<uint32_t>(ascii_terms_.size()));
      ascii_terms_.emplace_back(normalised.begin(), normalised.end());
      if (normalised.size() == 1) ascii_single_[first] = true;
      else ascii_pair_[first * 128 + normalised[1]] = true;
    }
    terms_.push_back(std::move(normalised));
  }
}

namespace {

// True when no byte has its high bit set; eight bytes at a time.
bool plain_ascii(std::string_view bytes) {
  size_t i = 0;
  uint64_t high = 0;
  for (; i + 8 <= bytes.size(); i += 8) {
    uint64_t word;
    memcpy(&word, bytes.data() + i, 8);
    high |= word;
  }
  for (; i < bytes.size(); ++i) high |= static_cast<uint8_t>(bytes[i]);
  return (high & 0x8080808080808080ULL) == 0;
}

char lower_byte(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + ('a' - 'A')) : c; }

}  // namespace

bool TermMatcher::any_match_bytes(std::string_view name, std::u16string& scratch) const {
  if (!plain_ascii(name)) {
    decode_utf8(name, scratch);
    normalise_in_place(scratch);
    return any_match(scratch);
  }
  // ASCII decodes unit for unit, and its normalised form is its A-Z lowering.
  const size_t n = name.size();
  for (size_t i = 0; i < n; ++i) {
    const auto c = static_cast<uint8_t>(lower_byte(name[i]));
    if (ascii_single_[c]) return true;
    if (i + 1 == n || !ascii_pair_[c * 128 + static_cast<uint8_t>(lower_byte(name[i + 1]))]) continue;
    for (uint32_t t : ascii_by_first_byte_[c]) {
      const std::string& term = ascii_terms_[t];
      if (term.size() > n - i) continue;
      size_t k = 1;
      while (k < term.size() && lower_byte(name[i + k]) == term[k]) ++k;
      if (k == term.size()) return true;
    }
  }
  return false;
}

bool TermMatcher::any_match(std::u16string_view name) const {
  const size_t n = name.size();
  for (size_t i = 0; i < n; ++i) {
    if (!starts_[name[i]]) continue;
    const std::u16string_view rest = name.substr(i);
    for (uint32_t t : by_first_unit_[static_cast<size_t>(group_of_unit_[name[i]])]) {
      const std::u16string& term = terms_[t];
      if (term.size() <= rest.size() && rest.compare(0, term.size(), term) == 0) return true;
    }
  }
  return false;
}
