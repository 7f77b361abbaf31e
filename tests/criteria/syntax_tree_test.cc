#include "criteria/syntax_tree.h"

#include <gtest/gtest.h>

#include <memory>

#include "criteria/criteria_value.h"

namespace {

TEST(CriteriaValueTest, ResetToTypeClearsOnlyThatTypesPart) {
  CriteriaValue value;
  value.setString(u"abc");
  value.setNumber(9);
  EXPECT_FALSE(value.resetToType(2));
  EXPECT_EQ(value.type(), CriteriaValue::NUMERIC);
  EXPECT_EQ(value.number(), 9);
  EXPECT_EQ(std::u16string(value.string()), u"abc");
  EXPECT_TRUE(value.resetToType(CriteriaValue::STRING));
  EXPECT_EQ(value.type(), CriteriaValue::STRING);
  EXPECT_EQ(std::u16string(value.string()), u"");
  EXPECT_EQ(value.number(), 9);
  EXPECT_TRUE(value.resetToType(CriteriaValue::NUMERIC));
  EXPECT_EQ(value.number(), 0);
}

TEST(CriteriaTokenTest, CopiesLeaveTheOperandCacheBehind) {
  CriteriaToken token(TokString, 0);
  token.text = u"abc";
  token.operandCache = std::make_unique<CriteriaValue>();
  CriteriaToken copy = token;
  EXPECT_EQ(copy.operandCache, nullptr);
  EXPECT_TRUE(copy.text == u"abc");
  CriteriaToken target(TokNumeric, 5);
  target.operandCache = std::make_unique<CriteriaValue>();
  CriteriaValue* kept = target.operandCache.get();
  target = token;
  EXPECT_EQ(target.kind, TokString);
  EXPECT_EQ(target.operandCache.get(), kept);
}

}  // namespace
