// Re-evaluation against the first parse: for random expressions and random records, walking the
// tree that a parse of one record left must give what a fresh parse of each other record gives,
// errors (-1) included.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "criteria/criteria_fixture.h"

namespace {

constexpr int kExpressions = 2500;
constexpr int kRecordsPerExpression = 6;
constexpr int kMaxDepth = 5;

// The words of a list separated by single spaces.
std::vector<std::u16string> words(const std::u16string& list) {
  std::vector<std::u16string> out(1);
  for (char16_t c : list) c == u' ' ? void(out.emplace_back()) : out.back().push_back(c);
  return out;
}

class ExpressionGenerator {
 public:
  explicit ExpressionGenerator(uint32_t seed) : rng_(seed) {}

  std::u16string numeric(int depth) {
    if (depth <= 0 || chance(3)) return pick(numericAtoms_);
    switch (rng_() % 9) {
      // clang-format off
      case 0: return group(numeric(depth - 1) + pick(arithmetic_) + numeric(depth - 1));
      case 1: return group(pick(unary_) + numeric(depth - 1));
      case 2: return group(numeric(depth - 1) + pick(relational_) + numeric(depth - 1));
      case 3: return group(text(depth - 1) + pick(relational_) + text(depth - 1));
      case 4: return group(text(depth - 1) + pick(equality_) + pick(sets_));
      case 5: case 6: return group(numeric(depth - 1) + pick(boolean_) + numeric(depth - 1));
      // Occasionally ill-typed: both evaluators must fail alike.
      case 7: return group(numeric(depth - 1) + pick(mixed_) + text(depth - 1));
      default: return numeric(depth - 1) + pick(relational_) + numeric(depth - 1);
        // clang-format on
    }
  }

  // Records with few distinct values, so that comparisons and divisions by zero happen.
  void fillRecord(FileColumns* file, CacheVariables* variables) {
    file->setString(u"FILENAME", pick(names_));
    file->setString(u"SHORTFILENAME", pick(names_));
    static const int64_t kSizes[] = {0, 1, 2, 3, -1, 5000000000LL, INT64_MIN};
    file->setInt64(u"SIZE", kSizes[rng_() % 7]);
    file->setInt32(u"ATTR", static_cast<int32_t>(rng_() % 4) - 1);
    file->setInt32(u"PATHID", static_cast<int32_t>(rng_() % 3));
    file->setByte(u"FLAGS", static_cast<uint8_t>(rng_() % 3));
    file->setWord(u"KIND", static_cast<uint16_t>(rng_() % 3));
    variables->setInt32(u"pathid", static_cast<int32_t>(rng_() % 3));
    variables->setInt32(u"id", static_cast<int32_t>(rng_() % 3) - 1);
    variables->setString(u"filename", pick(names_));
  }

  bool chance(uint32_t n) { return rng_() % n == 0; }

 private:
  std::u16string text(int depth) {
    if (depth <= 0 || !chance(4)) return pick(textAtoms_);
    return group(text(depth - 1) + u"+" + text(depth - 1));
  }
  std::u16string group(const std::u16string& inner) {
    return chance(5) ? inner : u"(" + inner + u")";
  }
  const std::u16string& pick(const std::vector<std::u16string>& list) {
    return list[rng_() % list.size()];
  }

  std::mt19937 rng_;
  const std::vector<std::u16string> numericAtoms_ = words(
      u"0 1 2 3 5000000000 4294967295 [SIZE] [ATTR] [PATHID] [FLAGS] [KIND] pathid id 1.5 007");
  const std::vector<std::u16string> textAtoms_ =
      words(u"\"a\" \"A\" \"ab\" \"a*\" \"?b\" \"\" [FILENAME] [SHORTFILENAME] filename \"*\"");
  const std::vector<std::u16string> sets_ =
      words(u"{\"a\",\"*.txt\"} {\"A*\"} {} {\"*\"} {\"?b\",\"ab\"}");
  const std::vector<std::u16string> names_ = words(u"a A ab AB b.txt  ba");
  const std::vector<std::u16string> arithmetic_ = words(u"+ - * / & |");
  const std::vector<std::u16string> relational_ = words(u"== != < > <= >=");
  const std::vector<std::u16string> equality_ = words(u"== !=");
  const std::vector<std::u16string> boolean_ = words(u"&& ||");
  const std::vector<std::u16string> unary_ = words(u"- + !");
  const std::vector<std::u16string> mixed_ = words(u"+ == &&");
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
    walked.evaluate(generator.chance(2));
    for (int r = 0; r < kRecordsPerExpression; ++r) {
      generator.fillRecord(&file, &variables);
      bool caseSensitive = generator.chance(2);
      int parsed = evaluateOnce(text, &file.list, &variables.list, caseSensitive);
      ASSERT_EQ(walked.evaluate(caseSensitive), parsed) << excerpt(text);
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
