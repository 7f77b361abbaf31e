#include "fscommon/syntax_tree.h"

#include <gtest/gtest.h>

#include "fscommon/criteria_value.h"

namespace {

TEST(CriteriaValueTest, DefaultsCopiesAndResets) {
  CriteriaValue value;
  EXPECT_EQ(value.type(), CriteriaValue::NUMERIC);
  EXPECT_EQ(value.number(), 0);
  EXPECT_EQ(value.constantTerms(), 1u);
  EXPECT_EQ(value.referenceTerms(), 0u);
  EXPECT_TRUE(value.isPureConstant());
  EXPECT_FALSE(value.isSingleReference());
  EXPECT_EQ(value.patternSet(), nullptr);
  EXPECT_EQ(std::u16string(value.string()), u"");

  value.setString(u"abc");
  value.setName(u"NAME");
  value.setNumber(9);
  value.setTerms(0, 1);
  EXPECT_TRUE(value.isSingleReference());
  CriteriaValue copy = value;
  EXPECT_EQ(std::u16string(copy.string()), u"abc");
  EXPECT_EQ(std::u16string(copy.name()), u"NAME");
  EXPECT_EQ(copy.number(), 9);

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

  value.setString(nullptr);
  value.setName(nullptr);
  EXPECT_FALSE(value.hasName());
  std::u16string longText(300, u'x');
  value.setString(longText.c_str());
  EXPECT_EQ(value.stringLength(), 300u);
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

TEST(SyntaxTreeTest, CombineAndEnsureRoot) {
  SyntaxTree left;
  SyntaxTree right;
  EXPECT_TRUE(left.combine(right));
  EXPECT_TRUE(left.empty());
  EXPECT_TRUE(right.empty());

  ASSERT_NE(right.ensureRoot(), nullptr);
  EXPECT_TRUE(right.root()->isEmptyLeaf());
  SyntaxNode* operand = right.root();
  ASSERT_TRUE(left.combine(right));
  EXPECT_TRUE(right.empty());
  EXPECT_EQ(left.root()->left(), nullptr);
  EXPECT_EQ(left.root()->right(), operand);
  EXPECT_FALSE(left.root()->isLeaf());

  SyntaxNode* root = left.root();
  EXPECT_EQ(left.ensureRoot(), root);
  root->setToken(TokArith, OpAdd);
  EXPECT_TRUE(root->token().is(TokArith, OpAdd));
}

TEST(SyntaxTreeTest, DeepTreesAreFreedWithoutRecursion) {
  // A left-deep chain far deeper than any stack could recurse; the sanitizer build checks that
  // every node is freed.
  SyntaxTree tree;
  tree.ensureRoot();
  for (int i = 0; i < 1000000; ++i) {
    SyntaxTree leaf;
    leaf.ensureRoot();
    ASSERT_TRUE(tree.combine(leaf));
  }
  tree.clear();
  EXPECT_TRUE(tree.empty());
}

}  // namespace
