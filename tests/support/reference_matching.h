// The matching rules written out plainly on 16-bit texts, against which the
// term matcher is held by its tests and by its fuzz target: when a search term matches a folder path or a file
// name, both are normalised (thirteen accented capitals folded to their
// small letters, then A to Z lowered; nothing else) and the term must occur
// as one contiguous piece of the name. Positions count 16-bit units from 1.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "search/term_matcher.h"

namespace test_support {

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

// True when some term matches the name, both any bytes decoded with
// replacement of ill-formed subparts.
bool reference_matches(std::string_view name, const std::vector<std::string>& terms);

}  // namespace test_support
