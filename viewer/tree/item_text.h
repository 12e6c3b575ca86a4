// An item's text as a view shows it and as the store's find compares it.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace tree {

// The view shows at most this many characters of an item's text, the first
// ones followed by "…": laying out a line of millions of characters takes
// the toolkit seconds on every repaint. The store keeps the whole text.
inline constexpr size_t DisplayedTextLimit = 4000;
// The text as a view shows it when it is longer than DisplayedTextLimit
// characters: its first ones and "…", in `shown`. False (and `shown`
// untouched) when the text is short enough as it is.
bool displayed_text(const char* text, std::string& shown);
// Whether `text` holds `needle`, letters A to Z matching either case.
bool text_contains(const char* text, std::string_view needle);

}  // namespace tree
