#include "page/Tools.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

namespace skimlet {
namespace {

// The fragment search read literally: in-place edits, and for the order test a mask instead of
// overwritten text (a masked character matches nothing, not even "?").
int RefMatchAt(std::string_view pat, std::string_view text, int start, const std::vector<bool>* mask = nullptr) {
  const int n = static_cast<int>(text.size());
  const int m = static_cast<int>(pat.size());
  if (m == 0 || n == 0 || start > n) return -1;
  for (int p = std::max(start, 1); p + m - 1 <= n; ++p) {
    int i = 0;
    for (; i < m; ++i) {
      const char c = pat[i];
      const char t = text[p - 1 + i];
      const bool digit = (t >= '0' && t <= '9') || t == '~';
      if ((mask && (*mask)[p - 1 + i]) || (c == '~' ? !digit : c != '?' && c != t)) break;
    }
    if (i == m) return p;
  }
  return -1;
}

bool RefFindFragment(std::string& buf, const std::string& pattern, const std::string& repl, int maxCount,
                     bool findOnly) {
  std::vector<std::string> frags{""};
  for (char c : pattern) {
    if (c != '*') frags.back() += c;
    else if (!frags.back().empty()) frags.emplace_back();
  }
  if (frags.back().empty()) frags.pop_back();
  if (frags.size() > 100) return false;
  const auto len = [](const std::string& s) { return static_cast<int>(s.size()); };
  int start = 1;
  bool found = false;
  for (int attempts = 1;; ++attempts) {
    int pos = -1;
    int length = 0;
    bool ok = true;
    if (pattern.find('*') == std::string::npos) {
      pos = RefMatchAt(pattern, buf, start);
      if (pos > 0) start = pos;
      length = len(pattern);
      ok = pos >= 1 && !pattern.empty();
    } else {
      std::vector<bool> mask(buf.size());
      for (const std::string& f : frags) {
        const int e = RefMatchAt(f, buf, start, &mask);
        if (e < 1) ok = false;
        for (int i = 1; ok && i <= e + len(f) && i <= len(buf); ++i) mask[i - 1] = true;
      }
      if (pattern.front() == '*') {
        pos = 1;
      } else if ((pos = RefMatchAt(frags.front(), buf, start)) > 0) {
        start = pos + len(frags.front());
      }
      length = pattern.back() == '*' ? len(buf) - pos + 1
                                     : RefMatchAt(frags.back(), buf, start) + len(frags.back()) - pos;
    }
    const bool match = ok && pos > 0 && length > 0;
    found = found || match;
    if (match && !findOnly) {
      buf.erase(pos - 1, length);
      buf.insert(pos - 1, repl);
      start = pos + len(repl);
    }
    if (findOnly || !match || attempts >= maxCount) return found;
  }
}

struct Outcome {
  bool found;
  std::string buffer;
  bool operator==(const Outcome&) const = default;
};

Outcome Replace(std::string buffer, std::string_view pattern, std::string_view replacement, int maxCount = 999) {
  const bool found = FindFragment(buffer, pattern, replacement, maxCount, false);
  return {found, buffer};
}

std::string RandomText(std::mt19937& rng, std::string_view alphabet, int maxLen) {
  std::string s(std::uniform_int_distribution<int>(0, maxLen)(rng), ' ');
  for (char& c : s) c = alphabet[std::uniform_int_distribution<size_t>(0, alphabet.size() - 1)(rng)];
  return s;
}

TEST(MatchAt, FindsTheFirstMatchAtOrAfterStart) {
  EXPECT_EQ(MatchAt("ab", "aab", 1), 2);
  EXPECT_EQ(MatchAt("a~", "xa7", 1), 2);
  EXPECT_EQ(MatchAt("a~", "a~b", 1), 1);
  EXPECT_EQ(MatchAt("a?c", "abc", 1), 1);
  EXPECT_EQ(MatchAt("Ab", "ab", 1), -1);
  EXPECT_EQ(MatchAt("ab", "abxab", 2), 4);
  EXPECT_EQ(MatchAt("a", "xa", 2), 2);  // a start at the last character is searched
  EXPECT_EQ(MatchAt("a", "xa", 3), -1);
  EXPECT_EQ(MatchAt("ab", "xa", 2), -1);  // a match never runs past the end
  EXPECT_EQ(MatchAt("", "abc", 1), -1);
  EXPECT_EQ(MatchAt("a", "", 1), -1);
}

TEST(FindFragment, ReplacesMatchesInTurn) {
  EXPECT_EQ(Replace("1<b>2</b>3<b>4</b>5", "<b>*</b>", "X"), (Outcome{true, "1X3X5"}));
  EXPECT_EQ(Replace("1<b>2</b>3<b>4</b>5", "<b>*</b>", "X", 1), (Outcome{true, "1X3<b>4</b>5"}));
  EXPECT_EQ(Replace("abxcd", "x*", ""), (Outcome{true, "ab"}));
  EXPECT_EQ(Replace("abxcd", "*c", ""), (Outcome{true, "d"}));
  // Each replacement is passed over, the one at the last character included.
  EXPECT_EQ(Replace("aaab", "a", "aa"), (Outcome{true, "aaaaaab"}));
  EXPECT_EQ(Replace("aaa", "a", "aa"), (Outcome{true, "aaaaaa"}));
  EXPECT_EQ(Replace("<SCRIPT>x</SCRIPT>", "<script*/script>", ""), (Outcome{false, "<SCRIPT>x</SCRIPT>"}));
}

TEST(FindFragment, FindOnlyLeavesTheBuffer) {
  std::string buffer = "x<b>1</b>y<b>2</b>";
  EXPECT_TRUE(FindFragment(buffer, "<b>*</b>", "Z", 999, true));
  EXPECT_TRUE(FindFragment(buffer, "<b>", "Z", 999, true));
  EXPECT_EQ(buffer, "x<b>1</b>y<b>2</b>");
  EXPECT_FALSE(FindFragment(buffer, "", "Z", 999, true));
  EXPECT_FALSE(ContainsFragment(buffer, ""));
}

TEST(FindFragment, EmptyBufferOrPattern) {
  EXPECT_EQ(Replace("abc", "", "X"), (Outcome{false, "abc"}));
  EXPECT_EQ(Replace("", "a", "X"), (Outcome{false, ""}));
  EXPECT_EQ(Replace("", "*", "X"), (Outcome{false, ""}));
  EXPECT_EQ(Replace("abc", "*", "X"), (Outcome{true, "X"}));
  EXPECT_EQ(Replace("abc", "**", ""), (Outcome{true, ""}));
}

// Kept from the original program: fragments need a character between them, a leading "*"
// starts at the buffer's beginning, the end is the nearest last fragment, a trailing "*" takes
// the rest.
TEST(FindFragment, ShapeOfAStarMatch) {
  EXPECT_EQ(Replace("ab", "a*b", "Z"), (Outcome{false, "ab"}));
  EXPECT_EQ(Replace("axb", "a*b", "Z"), (Outcome{true, "Z"}));
  EXPECT_FALSE(ContainsFragment("abcd", "ab**cd"));
  EXPECT_EQ(Replace("acbc", "*c", "Z"), (Outcome{true, "Z"}));  // swallows the first replacement
  EXPECT_EQ(Replace("acxbxc", "a*b*c", "Z", 1), (Outcome{true, "Zxbxc"}));
  EXPECT_EQ(Replace("bxaxb", "*a*b", "Z", 1), (Outcome{true, "Zxaxb"}));
  EXPECT_EQ(Replace("abcbd", "b*", "Z"), (Outcome{true, "aZ"}));
  EXPECT_EQ(Replace("a1b a2", "a*b", "Z"), (Outcome{true, "Z a2"}));
}

TEST(FindFragment, MarkedTextMatchesNoPatternCharacter) {
  EXPECT_FALSE(ContainsFragment("ab", "a*?"));
  EXPECT_TRUE(ContainsFragment("abc", "a*?"));
  EXPECT_FALSE(ContainsFragment("a\xA8", "a*\xA8"));
  EXPECT_TRUE(ContainsFragment("\xA8x\xA8", "\xA8*\xA8"));
}

TEST(FindFragment, AtMostAHundredFragments) {
  std::string pattern;
  std::string text;
  for (int i = 0; i < 100; ++i) {
    pattern += "a*";
    text += "a-";
  }
  EXPECT_EQ(Replace(text, pattern, "Z", 1), (Outcome{true, "Z"}));
  // One fragment more would match as well, but is refused.
  EXPECT_EQ(Replace(text + "a-", pattern + "a*", "Z", 1), (Outcome{false, text + "a-"}));
  EXPECT_FALSE(ContainsFragment(text + "a-", pattern + "a*"));
}

// The fast search must give what the literal reading gives, replacement loop and all.
TEST(FindFragment, AgreesWithTheLiteralReading) {
  std::mt19937 rng(20240607);
  for (int i = 0; i < 40000; ++i) {
    const bool longText = i % 100 == 0;
    const std::string text = longText ? RandomText(rng, "aaaabbbbbbb1~?*", 3000) : RandomText(rng, "ab?~*1", 14);
    const std::string pattern = RandomText(rng, "ab?~*1", longText ? 7 : 6);
    const std::string replacement = RandomText(rng, "ab?~*1", 3);
    const int maxCount = longText ? 999 : std::vector<int>{1, 2, 3, 999}[i % 4];
    const bool findOnly = i % 5 == 1;
    std::string expected = text;
    std::string actual = text;
    const bool expectedFound = RefFindFragment(expected, pattern, replacement, maxCount, findOnly);
    const std::string what = "text '" + text + "' pattern '" + pattern + "' replacement '" + replacement +
                             "' max " + std::to_string(maxCount) + " find only " + std::to_string(findOnly);
    ASSERT_EQ(FindFragment(actual, pattern, replacement, maxCount, findOnly), expectedFound) << what;
    ASSERT_EQ(actual, expected) << what;
    if (findOnly) {
      ASSERT_EQ(ContainsFragment(text, pattern), expectedFound) << what;
    }
    const std::string fragment = RandomText(rng, "ab?~1", 3);
    const int start = std::uniform_int_distribution<int>(1, static_cast<int>(text.size()) + 1)(rng);
    ASSERT_EQ(MatchAt(fragment, text, start), RefMatchAt(fragment, text, start)) << what << " start " << start;
  }
}

}  // namespace
}  // namespace skimlet
