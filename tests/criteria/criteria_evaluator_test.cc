#include "criteria/criteria_evaluator.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "criteria/criteria_fixture.h"
#include "support/trace_capture.h"

namespace {

TEST(CriteriaEvaluatorTest, InvalidTextsGiveMinusOneAndResultsAreTheLow32Bits) {
  CriteriaEvaluator invalid(nullptr);
  FileColumns file;
  EXPECT_FALSE(invalid.isValid());
  EXPECT_EQ(invalid.text(), nullptr);
  EXPECT_EQ(invalid.evaluate(false), -1);
  EXPECT_EQ(invalid.evaluate(&file.list, nullptr, false), -1);
  EXPECT_FALSE(invalid.setColumns(&file.list));
  EXPECT_FALSE(invalid.setVariables(&file.list));
  EXPECT_EQ(invalid.indexKey(), nullptr);
  EXPECT_FALSE(invalid.setIndexKey(CriteriaValue()));

  file.setInt64(u"SIZE", 0x123456789LL);
  EXPECT_EQ(evaluateOnce(u"[SIZE]", &file.list), 0x23456789);
  EXPECT_EQ(evaluateOnce(u"4294967295"), -1);
  EXPECT_EQ(evaluateOnce(u"-2"), -2);
  EXPECT_EQ(evaluateOnce(u"[FILENAME]", &file.list), 0);
  EXPECT_EQ(evaluateOnce(u"\"text\""), 0);

  // A text that fails to parse (SyntaxAnalyzerTest has every message) gives -1 and keeps failing;
  // its walk says so once, not once per record.
  TraceCapture traces;
  CriteriaEvaluator broken(u"1 +");
  EXPECT_EQ(broken.evaluate(false), -1);
  traces.clear();
  for (int record = 0; record < 3; ++record) EXPECT_EQ(broken.evaluate(false), -1);
  EXPECT_EQ(traces.messages(),
            std::vector<std::string>{"SyntaxAnalyzer::reevaluate - no tree to walk!\n"});
}

TEST(CriteriaEvaluatorTest, IndexKeys) {
  FileColumns file;
  CacheVariables variables;
  CriteriaEvaluator unbound(u"[PATHID]==5");
  EXPECT_EQ(unbound.indexKey(), nullptr);

  CriteriaEvaluator literal(u"[PATHID]==5 && [SIZE]>[ATTR]");
  ASSERT_TRUE(literal.setColumns(&file.list));
  CriteriaValue* key = literal.indexKey();
  ASSERT_NE(key, nullptr);
  EXPECT_EQ(key->number(), 5);
  EXPECT_EQ(literal.indexKey(), key);
  // The analysis parse counts as the first: evaluations walk its tree.
  file.setInt32(u"PATHID", 5);
  file.setInt64(u"SIZE", 2);
  EXPECT_EQ(literal.evaluate(false), 1);

  CriteriaEvaluator variable(u"[PATHID]==pathid");
  ASSERT_TRUE(variable.setColumns(&file.list));
  ASSERT_TRUE(variable.setVariables(&variables.list));
  EXPECT_EQ(variable.indexKey(), nullptr);
  CriteriaValue explicitKey;
  explicitKey.setName(u"PATHID");
  for (int64_t number : {42, 43}) {
    explicitKey.setNumber(number);
    ASSERT_TRUE(variable.setIndexKey(explicitKey));
    ASSERT_NE(variable.indexKey(), nullptr);
    EXPECT_EQ(variable.indexKey()->number(), number);
  }

  // A key set before any analysis is returned without parsing.
  CriteriaEvaluator broken(u"((");
  ASSERT_TRUE(broken.setIndexKey(explicitKey));
  EXPECT_EQ(broken.indexKey()->number(), 43);

  CriteriaEvaluator failing(u"[PATHID]==5 && (");
  ASSERT_TRUE(failing.setColumns(&file.list));
  EXPECT_EQ(failing.indexKey(), nullptr);
  EXPECT_EQ(failing.evaluate(false), -1);
}

}  // namespace
