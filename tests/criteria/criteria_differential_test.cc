// Re-evaluation against the first parse: for random expressions and random records, walking the
// tree that a parse of one record left must give what a fresh parse of each other record gives,
// errors (-1) included.
#include <gtest/gtest.h>

#include <random>
#include <string>

#include "criteria/criteria_fixture.h"

namespace {

constexpr int kExpressions = 2500;
constexpr int kRecordsPerExpression = 6;
constexpr int kMaxDepth = 5;

class ExpressionGenerator {
 public:
  explicit ExpressionGenerator(uint32_t seed) : rng_(seed) {}

  std::u16string numeric(int depth) {
    if (depth <= 0 || chance(3)) return numericAtom();
    switch (pick(9)) {
      case 0:
        return group(numeric(depth - 1) + arithmetic() + numeric(depth - 1));
      case 1:
        return group(pickOf({u"-", u"+", u"!"}) + numeric(depth - 1));
      case 2:
        return group(numeric(depth - 1) + relational() + numeric(depth - 1));
      case 3:
        return group(text(depth - 1) + relational() + text(depth - 1));
      case 4:
        return group(text(depth - 1) + pickOf({u"==", u"!="}) + setLiteral());
      case 5:
      case 6:
        return group(numeric(depth - 1) + pickOf({u"&&", u"||"}) + numeric(depth - 1));
      case 7:
        // Occasionally ill-typed: both evaluators must fail alike.
        return group(numeric(depth - 1) + pickOf({u"+", u"==", u"&&"}) + text(depth - 1));
      default:
        return numeric(depth - 1) + relational() + numeric(depth - 1);
    }
  }

  // Records with few distinct values, so that comparisons and divisions by zero happen.
  void fillRecord(FileColumns* file, CacheVariables* variables) {
    static const char16_t* const kNames[] = {u"a", u"A", u"ab", u"AB", u"b.txt", u"", u"ba"};
    file->setString(u"FILENAME", pickOf(kNames));
    file->setString(u"SHORTFILENAME", pickOf(kNames));
    static const int64_t kSizes[] = {0, 1, 2, 3, -1, 5000000000LL, INT64_MIN};
    file->setInt64(u"SIZE", pickOf(kSizes));
    file->setInt32(u"ATTR", static_cast<int32_t>(pick(4)) - 1);
    file->setInt32(u"PATHID", static_cast<int32_t>(pick(3)));
    file->setByte(u"FLAGS", static_cast<uint8_t>(pick(3)));
    file->setWord(u"KIND", static_cast<uint16_t>(pick(3)));
    variables->setInt32(u"pathid", static_cast<int32_t>(pick(3)));
    variables->setInt32(u"id", static_cast<int32_t>(pick(3)) - 1);
    variables->setString(u"filename", pickOf(kNames));
  }

  bool coin() { return chance(2); }

 private:
  std::u16string text(int depth) {
    if (depth <= 0 || !chance(4)) return textAtom();
    return group(text(depth - 1) + u"+" + text(depth - 1));
  }
  std::u16string numericAtom() {
    static const char16_t* const kAtoms[] = {u"0",          u"1",          u"2",      u"3",
                                             u"5000000000", u"4294967295", u"[SIZE]", u"[ATTR]",
                                             u"[PATHID]",   u"[FLAGS]",    u"[KIND]", u"pathid",
                                             u"id",         u"1.5",        u"007"};
    return pickOf(kAtoms);
  }
  std::u16string textAtom() {
    static const char16_t* const kAtoms[] = {
        u"\"a\"", u"\"A\"",      u"\"ab\"",          u"\"a*\"",   u"\"?b\"",
        u"\"\"",  u"[FILENAME]", u"[SHORTFILENAME]", u"filename", u"\"*\""};
    return pickOf(kAtoms);
  }
  std::u16string setLiteral() {
    static const char16_t* const kSets[] = {u"{\"a\", \"*.txt\"}", u"{\"A*\"}", u"{}", u"{\"*\"}",
                                            u"{\"?b\", \"ab\"}"};
    return pickOf(kSets);
  }
  std::u16string arithmetic() { return pickOf({u"+", u"-", u"*", u"/", u"&", u"|"}); }
  std::u16string relational() { return pickOf({u"==", u"!=", u"<", u">", u"<=", u">="}); }
  std::u16string group(const std::u16string& inner) {
    return chance(5) ? inner : u"(" + inner + u")";
  }

  bool chance(uint32_t n) { return rng_() % n == 0; }
  uint32_t pick(uint32_t n) { return rng_() % n; }
  template <typename T, size_t N>
  T pickOf(T const (&items)[N]) {
    return items[pick(N)];
  }
  std::u16string pickOf(std::initializer_list<const char16_t*> items) {
    return *(items.begin() + pick(static_cast<uint32_t>(items.size())));
  }

  std::mt19937 rng_;
};

TEST(CriteriaDifferentialTest, ReevaluationAgreesWithTheParse) {
  ExpressionGenerator generator(20240611);
  FileColumns file;
  CacheVariables variables;
  int errors = 0;
  int ones = 0;
  int compared = 0;
  for (int e = 0; e < kExpressions; ++e) {
    std::u16string text = generator.numeric(kMaxDepth);
    CriteriaEvaluator walked(text.c_str());
    ASSERT_TRUE(walked.setColumns(&file.list));
    ASSERT_TRUE(walked.setVariables(&variables.list));
    generator.fillRecord(&file, &variables);
    walked.evaluate(generator.coin());
    for (int r = 0; r < kRecordsPerExpression; ++r) {
      generator.fillRecord(&file, &variables);
      bool caseSensitive = generator.coin();
      int parsed = evaluateOnce(text, &file.list, &variables.list, caseSensitive);
      int reevaluated = walked.evaluate(caseSensitive);
      ASSERT_EQ(reevaluated, parsed) << std::string(text.begin(), text.end());
      errors += parsed == -1;
      ones += parsed == 1;
      ++compared;
    }
  }
  // The generator exercises both outcomes and failures, not only one of them.
  EXPECT_GT(errors, compared / 50);
  EXPECT_GT(ones, compared / 10);
  EXPECT_GT(compared - errors - ones, compared / 10);
}

}  // namespace
