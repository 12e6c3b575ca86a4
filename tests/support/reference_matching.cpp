#include "tests/support/reference_matching.h"

#include <algorithm>

#include "runtime/utf8.h"

namespace test_support {

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
    for (auto [capital, small] : search::accent_fold_table) latin1[capital] = small;
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
  for (auto [capital, small] : search::accent_fold_table)
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

bool reference_matches(std::string_view name, const std::vector<std::string>& terms) {
  std::u16string name16, term16;
  runtime::decode_utf8_replacing(name, name16);
  for (const std::string& term : terms) {
    runtime::decode_utf8_replacing(term, term16);
    if (term_matches(name16, term16)) return true;
  }
  return false;
}

}  // namespace test_support
