#include "criteria/criteria_evaluator.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "criteria/criteria_commands.h"
#include "criteria/criteria_fixture.h"
#include "support/trace_capture.h"

namespace {

TEST(CriteriaEvaluatorTest, InvalidTextsGiveMinusOneAndResultsAreTheLow32Bits) {
  CriteriaEvaluator invalid(nullptr);
  FileColumns file;
  EXPECT_FALSE(invalid.isValid() || invalid.text() != nullptr || invalid.setColumns(&file.list) ||
               invalid.setVariables(&file.list) || invalid.indexKey() != nullptr ||
               invalid.setIndexKey(CriteriaValue()));
  EXPECT_EQ(invalid.evaluate(false) + invalid.evaluate(&file.list, nullptr, false), -2);

  file.setInt64(u"SIZE", 0x123456789LL);
  EXPECT_EQ(evaluateOnce(u"[SIZE]", &file.list), 0x23456789);
  EXPECT_EQ(evaluateOnce(u"4294967295"), -1);
  EXPECT_EQ(evaluateOnce(u"[FILENAME]", &file.list), 0);

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

// The number of the evaluator's index key, or "none".
std::string keyOf(CriteriaEvaluator& evaluator) {
  const CriteriaValue* key = evaluator.indexKey();
  return key == nullptr ? "none" : std::to_string(key->number());
}

TEST(CriteriaEvaluatorTest, IndexKeys) {
  FileColumns file;
  CacheVariables variables;
  CriteriaEvaluator unbound(u"[PATHID]==5");
  EXPECT_EQ(keyOf(unbound), "none");

  CriteriaEvaluator literal(u"[PATHID]==5 && [SIZE]>[ATTR]");
  ASSERT_TRUE(literal.setColumns(&file.list));
  EXPECT_EQ(keyOf(literal), "5");
  // The analysis parse counts as the first: evaluations walk its tree.
  file.setInt32(u"PATHID", 5);
  file.setInt64(u"SIZE", 2);
  EXPECT_EQ(literal.evaluate(false), 1);

  CriteriaEvaluator variable(u"[PATHID]==pathid");
  ASSERT_TRUE(variable.setColumns(&file.list) && variable.setVariables(&variables.list));
  EXPECT_EQ(keyOf(variable), "none");
  CriteriaValue explicitKey;
  explicitKey.setName(u"PATHID");
  for (int64_t number : {42, 43}) {
    explicitKey.setNumber(number);
    ASSERT_TRUE(variable.setIndexKey(explicitKey));
    EXPECT_EQ(keyOf(variable), std::to_string(number));
  }
  // A key set before any analysis is returned without parsing.
  CriteriaEvaluator broken(u"((");
  ASSERT_TRUE(broken.setIndexKey(explicitKey));
  EXPECT_EQ(keyOf(broken), "43");

  CriteriaEvaluator failing(u"[PATHID]==5 && (");
  ASSERT_TRUE(failing.setColumns(&file.list));
  EXPECT_EQ(keyOf(failing), "none");
}

// len(string) -> NUMERIC; max(a, b) -> NUMERIC; counts its calls and can be told to fail.
class TestExecutor : public CommandExecutor {
 public:
  int execute(const CriteriaValue* first, const CriteriaValue* second,
              CriteriaValue* result) override {
    ++calls;
    if (fail) return 1;
    result->setNumeric(second == nullptr ? static_cast<int64_t>(first->stringLength())
                                         : std::max(first->number(), second->number()));
    return 0;
  }
  int calls = 0;
  bool fail = false;
};

class CriteriaCommandsTest : public ::testing::Test {
 protected:
  void TearDown() override { clearCriteriaCommands(); }

  // Registers after the evaluator exists: constructing an analyzer empties the registry.
  void registerCommands() {
    const auto numeric = CriteriaValue::NUMERIC;
    ASSERT_TRUE(registerCriteriaCommand(u"len", 1, numeric, {CriteriaValue::STRING}, &executor_));
    ASSERT_TRUE(registerCriteriaCommand(u"max", 2, numeric, {numeric, numeric}, &executor_));
  }

  TestExecutor executor_;
};

TEST_F(CriteriaCommandsTest, RegistryRulesPrefixNamesAndTheEmptyRegistry) {
  CacheVariables variables;
  TraceCapture traces;
  EXPECT_EQ(evaluateOnce(u"name(1)"), -1);
  EXPECT_TRUE(traces.contains("SyntaxAnalyzer::factor - variable specified not found!\n"));
  EXPECT_EQ(evaluateOnce(u"pathid(1)", nullptr, &variables.list), -1);
  EXPECT_TRUE(traces.contains("SyntaxAnalyzer::parse - expected operator.\n"));

  const auto numeric = CriteriaValue::NUMERIC;
  const auto string = CriteriaValue::STRING;
  EXPECT_FALSE(registerCriteriaCommand(u"", 1, numeric, {string}, &executor_));
  EXPECT_FALSE(registerCriteriaCommand(u"f", 2, numeric, {string}, &executor_));
  registerCommands();
  EXPECT_EQ(criteriaCommandCount(), 2u);
  EXPECT_EQ(criteriaCommandAt(2), nullptr);
  // The lexer takes a registered name as a prefix of a longer word.
  EXPECT_EQ(tokensOf(u"lenx maxi"), "K0 V(x) K1 V(i) $");
  SyntaxAnalyzer analyzer;
  EXPECT_EQ(criteriaCommandCount(), 0u);
}

TEST_F(CriteriaCommandsTest, CallsRunAtParseAndEveryWalkButNotForTheIndexKey) {
  FileColumns file;
  CriteriaEvaluator evaluator(u"len([FILENAME]) + max(2, [PATHID]) == 15");
  registerCommands();
  ASSERT_TRUE(evaluator.setColumns(&file.list));
  file.setString(u"FILENAME", u"abcdefghij");
  file.setInt32(u"PATHID", 5);
  EXPECT_EQ(evaluator.evaluate(false), 1);
  EXPECT_EQ(executor_.calls, 2);
  file.setInt32(u"PATHID", 1);
  EXPECT_EQ(evaluator.evaluate(false), 0);
  EXPECT_EQ(executor_.calls, 4);
  TraceCapture traces;
  executor_.fail = true;
  EXPECT_EQ(evaluator.evaluate(false), -1);
  EXPECT_TRUE(traces.contains("SyntaxAnalyzer::resolve - command[len]: execute failed!\n"));
  // The walk checks the argument types and the registry again.
  executor_.fail = false;
  TestFields retyped({{u"FILENAME", FIELD_INT32}});
  EXPECT_EQ(evaluator.evaluate(&retyped.list, nullptr, false), -1);
  EXPECT_TRUE(traces.contains("SyntaxTree::resolve - command[len], arguments type mismatch\n"));
  clearCriteriaCommands();
  EXPECT_EQ(evaluator.evaluate(false), -1);
  EXPECT_TRUE(traces.contains("SyntaxTree::resolve - command[] not supported\n"));

  executor_.calls = 0;
  CriteriaEvaluator keyed(u"[PATHID]==5 && max([ATTR], 1) > 0");
  registerCommands();
  ASSERT_TRUE(keyed.setColumns(&file.list));
  EXPECT_EQ(keyOf(keyed), "5");
  EXPECT_EQ(executor_.calls, 0);
  EXPECT_TRUE(traces.contains("SyntaxAnalyzer::factor - executing command[max]...\n"));
  EXPECT_TRUE(
      traces.contains("SyntaxAnalyzer::factor - command[max]: resetting factorValue [0]!\n"));
  // A command's value never serves as the key's constant.
  CriteriaEvaluator computed(u"[PATHID]==max(1, 2)");
  registerCommands();
  ASSERT_TRUE(computed.setColumns(&file.list));
  EXPECT_EQ(keyOf(computed), "none");
}

TEST_F(CriteriaCommandsTest, CallSyntaxAndTypeErrors) {
  forEachCase(
      u"len 1 -> [len]: '(' expected!; len(1) -> [len]: parameter type mismatch!; "
      u"len(\"a\" -> [len]: ')' expected!; "
      u"max(\"a\", 1) -> [max]: first parameter type mismatch!; "
      u"max(1;1) -> [max]: ',' expected!; "
      u"max(1, \"a\") -> [max]: second parameter type mismatch!; "
      u"bad(1) ->  specified (bad) n_args not supported!",
      [&](const std::u16string& text, const std::string& message) {
        TraceCapture traces;
        CriteriaEvaluator evaluator(text.c_str());
        registerCommands();
        const auto numeric = CriteriaValue::NUMERIC;
        ASSERT_TRUE(
            registerCriteriaCommand(u"bad", 3, numeric, {numeric, numeric, numeric}, &executor_));
        EXPECT_EQ(evaluator.evaluate(false), -1);
        EXPECT_TRUE(traces.contains("SyntaxAnalyzer::factor - command" + message + "\n"))
            << message;
      });
}

}  // namespace
