#include "search/term_matcher.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "runtime/utf8.h"
#include "tests/support/reference_matching.h"

using namespace search;
using test_support::normalise_name;
using test_support::reference_matches;

namespace {

constexpr TermMatcher::Engine Engines[] = {TermMatcher::Engine::Chosen, TermMatcher::Engine::Automaton,
                                           TermMatcher::Engine::Compiled};

TEST(TermMatcher, Table) {
  struct Case {
    const char* what;
    std::string name;
    std::vector<std::string> terms;
    bool matches;
  } cases[] = {
      {"capital accents fold", "S\xC3\x83O PAULO", {"s\xC3\xA3o"}, true},
      {"small accents in the name match capital terms", "a\xC3\xA7\xC3\xA3o", {"A\xC3\x87\xC3\x83O"}, true},
      {"every folded capital", "\xC3\x80\xC3\x81\xC3\x82\xC3\x83\xC3\x87\xC3\x89\xC3\x8A\xC3\x8D\xC3\x93\xC3\x94\xC3\x95\xC3\x9A\xC3\x9C",
       {"\xC3\xA0\xC3\xA1\xC3\xA2\xC3\xA3\xC3\xA7\xC3\xA9\xC3\xAA\xC3\xAD\xC3\xB3\xC3\xB4\xC3\xB5\xC3\xBA\xC3\xBC"}, true},
      {"\xC3\x91 does not fold", "\xC3\x91" "andu", {"\xC3\xB1"}, false},
      {"\xC3\x88 does not fold", "\xC3\x88RE", {"\xC3\xA8re"}, false},
      {"\xC3\x84 does not fold", "\xC3\x84rger", {"\xC3\xA4rger"}, false},
      {"Greek capitals do not fold", "\xCE\x91\xCE\x92", {"\xCE\xB1\xCE\xB2"}, false},
      {"Latin-1 bytes are not letters", "\xC3\xA0", {"\xC3\x80\xC3"}, false},
      {"an empty term matches nothing", "name", {""}, false},
      {"an empty name is never matched", "", {"x"}, false},
      {"nothing is trimmed", "ax", {" x"}, false},
      {"any of several terms", "Docs/Report.PDF", {"zzz", "report.pdf"}, true},
      {"ill-formed bytes stand for U+FFFD, the rest is searched", "/a\xFF/lib", {"lib"}, true},
      {"a term with ill-formed bytes", "lib\xEF\xBF\xBDX", {"lib\xFF"}, true},
      {"an encoded surrogate is three replacements", "/sur\xED\xA0\x80/z", {"\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD/z"}, true},
      {"one replacement for a truncated sequence", "a\xE2\x82" "b", {"a\xEF\xBF\xBD" "b"}, true},
      {"an overlong form is two replacements", "a\xC0\x80" "b", {"a\xEF\xBF\xBD\xEF\xBF\xBD" "b"}, true},
      {"the lead byte of a truncated capital does not fold", "\xC3", {"\xC3\xA0"}, false},
      {"a byte-order mark in a name is a character", "\xEF\xBB\xBF" "doc", {"doc"}, true},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(reference_matches(c.name, c.terms), c.matches) << c.what;
    for (auto engine : Engines) {
      TermMatcher matcher(c.terms, engine);
      EXPECT_EQ(matcher.matches(c.name), c.matches) << c.what;
    }
  }
}

// Random names and terms from pieces that fold, that do not, and that are
// ill-formed, so that matches and near misses are frequent.
struct RandomText {
  std::mt19937 random{11};
  const std::vector<std::string> pieces = {
      "a", "A", "b", "B", "a", "A", "z", " ", "/", "\xC3\x80", "\xC3\xA0", "\xC3\x89", "\xC3\xA9",
      "\xC3\x9C", "\xC3\xBC", "\xC3\x91", "\xC3\xB1", "\xC3\x88", "\xC3", "\x80", "\xA9", "\xFF",
      "\xED\xA0\x80", "\xC0\x80", "\xEF\xBF\xBD", "\xF0\x9F\x98\x80", "\xF0\x9F", "\xE2\x82"};
  std::string text(int max_pieces) {
    std::string s;
    for (int n = static_cast<int>(random() % (max_pieces + 1)); n > 0; --n) s += pieces[random() % pieces.size()];
    return s;
  }
};

TEST(TermMatcher, AgreesWithTheRulesOnRandomNames) {
  RandomText random;
  for (int round = 0; round < 800; ++round) {
    std::vector<std::string> terms;
    for (int t = random.random() % 4; t > 0; --t) terms.push_back(random.text(3));
    TermMatcher matcher(terms, Engines[round % 3]);
    LineBlock block;
    std::vector<std::string> names;
    for (int n = 0; n < 30; ++n) block.add(names.emplace_back(random.text(12)));
    std::vector<uint8_t> hits;
    matcher.mark_lines(block, hits);
    if (round % 3 == 0) matcher.mark_lines(block, hits);  // perhaps by the table, after a dense block
    ASSERT_EQ(hits.size(), names.size());
    std::vector<uint8_t> decided, pair_hits;
    for (size_t n = 0; n < names.size(); ++n) decided.push_back(random.random() % 3 == 0);
    matcher.mark_lines(block, pair_hits, &decided);
    for (size_t n = 0; n < names.size(); ++n) {
      const bool expected = reference_matches(names[n], terms);
      ASSERT_EQ(hits[n] != 0, expected) << "round " << round << " name " << n;
      ASSERT_EQ(matcher.matches(names[n]), expected) << "round " << round << " name " << n;
      ASSERT_EQ(pair_hits[n] != 0, expected || decided[n]) << "round " << round << " decided name " << n;
    }
  }
}

TEST(TermMatcher, AgreesWithTheRulesOnLongTermsAndDenseMatches) {
  // Terms longer than the automaton takes whole, and lines that hold their
  // terms many times over, in blocks where neighbouring lines repeat.
  RandomText random;
  auto shout = [&](std::string text) {  // some letters in capitals
    for (char& c : text)
      if (c >= 'a' && c <= 'z' && random.random() % 2) c = static_cast<char>(c - 'a' + 'A');
    return text;
  };
  for (int round = 0; round < 200; ++round) {
    std::vector<std::string> terms;
    // Half the rounds, terms that begin alike for longer than the automaton
    // takes of them.
    const std::string stem = round % 2 ? random.text(2) + shout(std::string(70, 'a')) : "";
    const std::string tail = round % 3 == 0 ? shout(std::string(70, 'a')) + random.text(2) : "";
    for (int t = random.random() % 3 + 1; t > 0; --t) {
      std::string term = stem + random.text(3), unit = random.text(4) + "a";
      while (term.size() <= 1100) term += unit;
      terms.push_back(term + random.text(2) + tail);
    }
    if (random.random() % 2) terms.push_back(random.text(2));  // a short one too, perhaps frequent
    TermMatcher matcher(terms, Engines[round % 3]);
    LineBlock block;
    std::vector<std::string> names;
    for (int n = 0; n < 30; ++n) {
      const std::string& term = terms[random.random() % terms.size()];
      std::string name;
      switch (random.random() % 4) {
        case 0: name = random.text(12); break;
        case 1: name = random.text(4) + shout(term) + random.text(4) + shout(term); break;
        case 2: name = random.text(4) + shout(term.substr(0, term.size() - 1)); break;  // a near miss
        case 3: name = n > 0 ? names.back() : term; break;
      }
      block.add(names.emplace_back(name));
    }
    // Twice: a block where most lines are hit sends the next one to the
    // automaton's table.
    for (int pass = 0; pass < 2; ++pass) {
      std::vector<uint8_t> hits;
      matcher.mark_lines(block, hits);
      ASSERT_EQ(hits.size(), names.size());
      for (size_t n = 0; n < names.size(); ++n) {
        const bool expected = reference_matches(names[n], terms);
        ASSERT_EQ(hits[n] != 0, expected) << "round " << round << " pass " << pass << " name " << n;
        ASSERT_EQ(matcher.matches(names[n]), expected) << "round " << round << " name " << n;
      }
    }
  }
}

TEST(TermMatcher, LongTermsThatBeginOrEndAlikeInRepetitiveLines) {
  for (auto engine : Engines) {
    // Every term's first kilobyte occurs everywhere in the lines; only the
    // last bytes decide, and only for the term they belong to.
    std::vector<std::string> terms;
    for (char c = 'b'; c <= 'y'; ++c) terms.push_back(std::string(1100, 'a') + c + "z");
    TermMatcher matcher(terms, engine);
    LineBlock block;
    std::vector<std::string> lines = {std::string(5000, 'a'),
                                      std::string(3000, 'a') + "yz",
                                      std::string(3000, 'A') + "MZ" + std::string(1200, 'a'),
                                      std::string(1099, 'a') + "yz",
                                      std::string(3000, 'a') + "zz" + std::string(1100, 'a') + "b",
                                      std::string(1100, 'a') + "\xC3\x89z"};
    for (const std::string& line : lines) block.add(line);
    std::vector<uint8_t> hits;
    matcher.mark_lines(block, hits);
    EXPECT_EQ(hits, (std::vector<uint8_t>{0, 1, 1, 0, 0, 0}));
    for (size_t n = 0; n < lines.size(); ++n) EXPECT_EQ(matcher.matches(lines[n]), hits[n] != 0) << n;
    for (size_t n = 0; n < lines.size(); ++n) EXPECT_EQ(reference_matches(lines[n], terms), hits[n] != 0) << n;
    // A term of the accented capital, folded, is found through its small form.
    TermMatcher accented({std::string(1100, 'a') + "\xC3\x89z"}, engine);
    EXPECT_TRUE(accented.matches(std::string(2000, 'A') + "\xC3\xA9Z"));
    EXPECT_FALSE(accented.matches(std::string(2000, 'A') + "\xC3\x88Z"));
    // Terms that end alike and differ at the start.
    std::vector<std::string> ending;
    for (char c = 'b'; c <= 'y'; ++c) ending.push_back(std::string("z") + c + std::string(1100, 'a'));
    TermMatcher ends_alike(ending, engine);
    EXPECT_FALSE(ends_alike.matches(std::string(5000, 'a')));
    EXPECT_TRUE(ends_alike.matches(std::string(3000, 'a') + "ZY" + std::string(1100, 'A')));
    EXPECT_FALSE(ends_alike.matches(std::string(3000, 'a') + "zy" + std::string(1099, 'a')));
    // Accented letters across the part that the automaton holds, in either
    // form: none may be cut from its lead byte.
    std::string letters;
    for (int i = 0; i < 40; ++i) letters += "\xC3\xA9";
    for (std::string term : {std::string(1000, 'a') + letters + "a", std::string(1000, 'a') + letters + "aa"}) {
      TermMatcher folded({term}, engine);
      std::string capitals = term;
      for (size_t i = 0; i + 1 < capitals.size(); ++i)
        if (capitals.compare(i, 2, "\xC3\xA9") == 0) capitals[++i] = '\x89';
      EXPECT_TRUE(folded.matches("/" + capitals + "/")) << term.size();
      EXPECT_EQ(reference_matches("/" + capitals + "/", {term}), true);
    }
  }
}

TEST(TermMatcher, LinesDecidedAlreadyCountAsHitAndAreNotSearched) {
  TermMatcher matcher({"lib"});
  LineBlock block;
  for (std::string_view line : {"/lib", "/etc", "/etc\xFF", "/usr/lib", "/usr/lib\xFF"}) block.add(line);
  const std::vector<uint8_t> decided = {0, 1, 1, 0, 1};
  std::vector<uint8_t> hits;
  matcher.mark_lines(block, hits, &decided);
  EXPECT_EQ(hits, (std::vector<uint8_t>{1, 1, 1, 1, 1}));
  const std::vector<uint8_t> none(5, 0);
  matcher.mark_lines(block, hits, &none);
  EXPECT_EQ(hits, (std::vector<uint8_t>{1, 0, 0, 1, 1}));
  // A line decided beforehand says nothing of a line that repeats it.
  LineBlock repeats;
  for (std::string_view line : {"/etc", "/etc", "/lib", "/lib"}) repeats.add(line);
  const std::vector<uint8_t> first = {1, 0, 0, 0};
  matcher.mark_lines(repeats, hits, &first);
  EXPECT_EQ(hits, (std::vector<uint8_t>{1, 0, 1, 1}));
}

TEST(TermMatcher, MarksTheLinesOfABlock) {
  TermMatcher matcher({"lib", "\xC3\x89"});
  LineBlock block;
  for (std::string_view line : {"/usr/LIB", "", "/a\xFF/lib", "/etc", "caf\xC3\xA9", "li", "b", "/li\xFF" "b"})
    block.add(line);
  std::vector<uint8_t> hits;
  matcher.mark_lines(block, hits);
  EXPECT_EQ(hits, (std::vector<uint8_t>{1, 0, 1, 0, 1, 0, 0, 0}));
}

TEST(TermMatcher, ManyTermsAndVeryLongTerms) {
  // Terms too long for the automaton are searched one by one, under the same
  // rules.
  std::string long_term(3000, 'x');
  long_term += "\xC3\x89";
  std::vector<std::string> terms = {long_term};
  for (int i = 0; i < 2000; ++i) terms.push_back("term" + std::to_string(i) + "q");
  TermMatcher matcher(terms);
  std::string long_name = "/" + std::string(3000, 'X') + "\xC3\xA9/";
  EXPECT_TRUE(matcher.matches(long_name));
  EXPECT_TRUE(matcher.matches(long_name + "\xFF"));
  EXPECT_FALSE(matcher.matches(long_name.substr(0, 2000)));
  EXPECT_TRUE(matcher.matches("a/TERM1999Q"));
  EXPECT_FALSE(matcher.matches("a/term2000q"));
  LineBlock block;
  block.add("none");
  block.add(long_name);
  block.add("term7q");
  std::vector<uint8_t> hits;
  matcher.mark_lines(block, hits);
  EXPECT_EQ(hits, (std::vector<uint8_t>{0, 1, 1}));
}

TEST(TermAutomaton, TellsTermsThatHoldAnother) {
  const std::vector<std::string> terms = {"ab", "abc", "b", "cd", "xabx", "\xC3\xA9t\xC3\xA9", "\xC3\xA9"};
  std::vector<std::string> sorted = terms;
  std::sort(sorted.begin(), sorted.end());
  TermAutomaton automaton(std::vector<std::string_view>(sorted.begin(), sorted.end()));
  struct Case {
    std::string term;
    bool holds_other;
  } cases[] = {{"ab", true}, {"abc", true}, {"b", false}, {"cd", false}, {"xabx", true},
               {"\xC3\xA9t\xC3\xA9", true}, {"\xC3\xA9", false}, {"c", false}, {"xcdx", true}};
  for (const Case& c : cases) EXPECT_EQ(automaton.holds_other(c.term), c.holds_other) << c.term;
  for (bool table : {false, true}) {
    if (table) automaton.make_table(size_t{1} << 20);
    EXPECT_TRUE(automaton.found_in("xCD")) << table;
    EXPECT_TRUE(automaton.found_in("\xC3\x89")) << table;
    EXPECT_FALSE(automaton.found_in("\xC3\x88\xC3\x8A")) << table;
    EXPECT_FALSE(automaton.found_in("aacc")) << table;
    EXPECT_FALSE(automaton.found_in("")) << table;
  }
}

TEST(TermAutomaton, WithAndWithoutItsTableAgreesWithTheRules) {
  RandomText random;
  for (int round = 0; round < 300; ++round) {
    std::vector<std::string> terms, folded;
    for (int t = random.random() % 6 + 1; t > 0; --t) {
      terms.push_back(random.text(4));
      if (!terms.back().empty()) folded.push_back(fold_utf8(runtime::repair_utf8(terms.back())));
    }
    std::sort(folded.begin(), folded.end());
    folded.erase(std::unique(folded.begin(), folded.end()), folded.end());
    if (folded.empty()) continue;
    const std::vector<std::string_view> views(folded.begin(), folded.end());
    TermAutomaton sparse(views), table(views);
    table.make_table(size_t{1} << 20);
    for (int n = 0; n < 30; ++n) {
      const std::string name = runtime::repair_utf8(random.text(12));
      const bool expected = reference_matches(name, terms);
      ASSERT_EQ(sparse.found_in(name), expected) << "round " << round << " name " << n;
      ASSERT_EQ(table.found_in(name), expected) << "round " << round << " name " << n;
    }
  }
}

TEST(FoldUtf8, FoldsExactlyTheRulesLetters) {
  std::string all;
  std::u16string all16;
  for (char32_t c = 1; c < 0x800; ++c) all16.push_back(static_cast<char16_t>(c));
  all = runtime::encode_utf8(all16);
  EXPECT_EQ(fold_utf8(all), runtime::encode_utf8(normalise_name(all16)));
}

}  // namespace
