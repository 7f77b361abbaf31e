#include "fscommon/syntax_analyzer.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "criteria/criteria_fixture.h"
#include "support/trace_capture.h"

namespace {

struct Case {
  const char16_t* text;
  int64_t value;
};

// Parses each text, then walks its tree again: both must give the value.
void expectValues(const std::vector<Case>& cases, FieldList* columns = nullptr,
                  bool caseSensitive = false) {
  for (const Case& c : cases) {
    SyntaxAnalyzer analyzer;
    CriteriaValue value;
    SCOPED_TRACE(std::string(c.text, c.text + std::char_traits<char16_t>::length(c.text)));
    ASSERT_FALSE(analyzer.parse(c.text, columns, nullptr, value, caseSensitive));
    EXPECT_EQ(value.type(), CriteriaValue::NUMERIC);
    EXPECT_EQ(value.number(), c.value);
    CriteriaValue again;
    ASSERT_FALSE(analyzer.reevaluate(columns, nullptr, again, caseSensitive));
    EXPECT_EQ(again.number(), c.value);
  }
}

// The text fails to parse with exactly this first message.
void expectParseError(const std::u16string& text, const std::string& message,
                      FieldList* columns = nullptr, FieldList* variables = nullptr) {
  TraceCapture traces;
  SyntaxAnalyzer analyzer;
  CriteriaValue value;
  SCOPED_TRACE(std::string(text.begin(), text.end()).substr(0, 80));
  EXPECT_TRUE(analyzer.parse(text.c_str(), columns, variables, value, false));
  std::vector<CapturedTrace> records = traces.records();
  ASSERT_FALSE(records.empty());
  EXPECT_EQ(records.front().message, message);
  EXPECT_EQ(records.front().file, "fscanner/fscommon/syntaxanalyzer");
}

TEST(SyntaxAnalyzerTest, PrecedenceAssociativityAndUnaryOperators) {
  expectValues({{u"1+2*3", 7},
                {u"(1+2)*3", 9},
                {u"7-2-1", 4},
                {u"-3*2", -6},
                {u"!0", 1},
                {u"!5", 0},
                {u"--5", 5},
                {u"+-+5", -5},
                {u"12/5", 2},
                {u"-7/2", -3},
                {u"6&3|8", 10},
                {u"1|2&3", 3},
                {u"2>1 && 1>2 || 3==3", 1},
                {u"3==3 || 2>1 && 1>2", 1},
                {u"0 || 0", 0},
                {u"1 < 2 < 3", 1},
                {u"3 > 2 > 1", 0},
                {u"2 != 2 == 0", 1},
                {u"1.5 + .5 + 007", 7},
                {u"9223372036854775807 + 1 == -9223372036854775807 - 1", 1},
                {u"99999999999999999999 == 9223372036854775807", 1}});
}

TEST(SyntaxAnalyzerTest, StringComparisonsWildcardsAndSets) {
  FileColumns file;
  file.setString(u"FILENAME", u"README.TXT");
  expectValues({{u"\"b\" > \"a\"", 1},
                {u"\"a\" >= \"b\"", 0},
                {u"\"ab\" + \"cd\" == \"abcd\"", 1},
                {u"[FILENAME] == \"readme.txt\"", 1},
                {u"[FILENAME] == \"read*.t?t\"", 1},
                {u"\"read*.t?t\" == [FILENAME]", 0},
                {u"\"read*\" == \"read*\"", 1},
                {u"[FILENAME] == {\"*.exe\", \"readme*\"}", 1},
                {u"[FILENAME] != {\"*.exe\", \"*.dll\"}", 1},
                {u"[FILENAME] == {}", 0},
                {u"[FILENAME] <= \"readme.txt\" && [FILENAME] >= \"README.TXT\"", 1}},
               &file.list, false);
  expectValues({{u"[FILENAME] == \"readme.txt\"", 0},
                {u"[FILENAME] == \"README.TXT\"", 1},
                {u"[FILENAME] == \"read*\"", 0},
                {u"[FILENAME] == {\"readme*\"}", 1},
                {u"[FILENAME] > \"README.TXT\"", 0},
                {u"[FILENAME] < \"readme.txt\"", 1}},
               &file.list, true);
}

TEST(SyntaxAnalyzerTest, FieldsOfEveryWidth) {
  FileColumns file;
  file.setInt64(u"SIZE", 5000000000LL);
  file.setInt32(u"ATTR", -1);
  file.setByte(u"FLAGS", 0xFF);
  file.setWord(u"KIND", 0xFFFF);
  expectValues({{u"[SIZE] == 5000000000", 1},
                {u"[SIZE] == 705032704", 0},
                {u"[SIZE] > 4294967296", 1},
                {u"[ATTR] == 4294967295", 1},
                {u"[ATTR] > 0", 1},
                {u"[FLAGS] + [KIND]", 0xFF + 0xFFFF}},
               &file.list);
  file.setInt64(u"SIZE", -5);
  expectValues({{u"[SIZE] < 0", 1}}, &file.list);
}

TEST(SyntaxAnalyzerTest, ResultsOfOtherTypesAndValuesOfFields) {
  FileColumns file;
  bool error = true;
  CriteriaValue text = parseValue(u"[FILENAME] + \"!\"", &error, &file.list);
  ASSERT_FALSE(error);
  EXPECT_EQ(text.type(), CriteriaValue::STRING);
  EXPECT_EQ(std::u16string(text.string()), u"readme.txt!");

  CriteriaValue column = parseValue(u"[PATHID]", &error, &file.list);
  ASSERT_FALSE(error);
  EXPECT_EQ(std::u16string(column.name()), u"PATHID");
  EXPECT_EQ(column.referenceTerms(), 1u);
  EXPECT_EQ(column.constantTerms(), 0u);

  CriteriaValue sum = parseValue(u"[PATHID] + 1 + 2", &error, &file.list);
  EXPECT_EQ(sum.referenceTerms(), 1u);
  EXPECT_EQ(sum.constantTerms(), 2u);
  EXPECT_EQ(std::u16string(sum.name()), u"");
}

TEST(SyntaxAnalyzerTest, ErrorsTraceTheirMessage) {
  FileColumns file;
  CacheVariables variables;
  expectParseError(u"", "SyntaxAnalyzer::factor - unexpected sequence!\n");
  expectParseError(u"1 2", "SyntaxAnalyzer::parse - expected operator.\n");
  expectParseError(u"(1+2", "SyntaxAnalyzer::factor - expected ')'\n");
  expectParseError(u"1 == )", "SyntaxAnalyzer::factor - unexpected sequence!\n");
  expectParseError(u"*5", "SyntaxAnalyzer::factor - expected '+' or '-'!\n");
  expectParseError(u"&& 1", "SyntaxAnalyzer::factor - expected '!'\n");
  expectParseError(u"-\"a\"", "SyntaxAnalyzer::factor - factor operand is not NUMERIC\n");
  expectParseError(u"!\"a\"", "SyntaxAnalyzer::factor - factor operand is not NUMERIC\n");
  expectParseError(u"\"ab\" + 1",
                   "SyntaxAnalyzer::expression - expression operands of different types or not "
                   "NUMERIC\n");
  expectParseError(u"\"ab\" - \"cd\"",
                   "SyntaxAnalyzer::expression - operator '' not permitted on string type\n");
  expectParseError(u"\"ab\" * 2",
                   "SyntaxAnalyzer::term - term operands of different types or not NUMERIC\n");
  expectParseError(u"\"a\" == 1",
                   "SyntaxAnalyzer::relation - relation operands of different types!\n");
  expectParseError(u"\"a\" && 1",
                   "SyntaxAnalyzer::bTerm - bTerm operands of different types or not NUMERIC\n");
  expectParseError(u"1 || \"a\"",
                   "SyntaxAnalyzer::bExpression - bExpression operands of different types or "
                   "not NUMERIC\n");
  expectParseError(u"nothere == 1", "SyntaxAnalyzer::factor - variable specified not found!\n",
                   &file.list, &variables.list);
  expectParseError(u"pathid == 1", "SyntaxAnalyzer::factor - variable specified not found!\n",
                   &file.list, nullptr);
  expectParseError(u"[pathid] == 1", "SyntaxAnalyzer::factor - variable specified not found!\n",
                   &file.list, &variables.list);
  expectParseError(u"[BLOB] == 1", "SyntaxAnalyzer::factor - typeXXX unknown!\n", &file.list);
  expectParseError(u"1 / 0", "SyntaxAnalyzer::term - division by zero or overflow\n");
  expectParseError(u"(0-9223372036854775807-1) / -1",
                   "SyntaxAnalyzer::term - division by zero or overflow\n");
  expectParseError(u"1 = 1", "SyntaxAnalyzer::parse - expected operator.\n");
}

TEST(SyntaxAnalyzerTest, OnlyTheFirstErrorIsTraced) {
  TraceCapture traces;
  SyntaxAnalyzer analyzer;
  CriteriaValue value;
  EXPECT_TRUE(analyzer.parse(u"1/0 + 2/0 + )", nullptr, nullptr, value, false));
  EXPECT_EQ(traces.messages(),
            std::vector<std::string>{"SyntaxAnalyzer::term - division by zero or overflow\n"});
}

TEST(SyntaxAnalyzerTest, NullTextFailsAndEmptyLeavesNoTree) {
  SyntaxAnalyzer analyzer;
  CriteriaValue value;
  EXPECT_TRUE(analyzer.parse(nullptr, nullptr, nullptr, value, false));
  EXPECT_TRUE(analyzer.reevaluate(nullptr, nullptr, value, false));
  EXPECT_TRUE(analyzer.parse(u"(1 +", nullptr, nullptr, value, false));
  EXPECT_TRUE(analyzer.reevaluate(nullptr, nullptr, value, false));
}

TEST(SyntaxAnalyzerTest, DivisionErrorsOnlyWhereTheValueCounts) {
  // The right side of && after a 0 and of || after a non-zero cannot change the result.
  expectValues({{u"0 && 1/0", 0}, {u"1 || 1/0", 1}, {u"5 || 1/0 == 0", 1}});
  FileColumns file;
  file.setInt32(u"ATTR", 0);
  SyntaxAnalyzer analyzer;
  CriteriaValue value;
  // Data errors leave the tree usable: the next record may divide fine.
  EXPECT_TRUE(analyzer.parse(u"100 / [ATTR] == 50", &file.list, nullptr, value, false));
  file.setInt32(u"ATTR", 2);
  ASSERT_FALSE(analyzer.reevaluate(&file.list, nullptr, value, false));
  EXPECT_EQ(value.number(), 1);
  file.setInt32(u"ATTR", 0);
  TraceCapture traces;
  EXPECT_TRUE(analyzer.reevaluate(&file.list, nullptr, value, false));
  EXPECT_TRUE(traces.contains("SyntaxTree::resolve - division by zero or overflow\n"));
}

TEST(SyntaxAnalyzerTest, ReevaluationReadsFieldsAgainAndShortCircuits) {
  FileColumns file;
  file.setInt64(u"SIZE", 50);
  file.setString(u"FILENAME", u"a");
  SyntaxAnalyzer analyzer;
  CriteriaValue value;
  const char16_t* text = u"([SIZE] > 10) && ([FILENAME] == \"a\")";
  ASSERT_FALSE(analyzer.parse(text, &file.list, nullptr, value, false));
  EXPECT_EQ(value.number(), 1);

  // A list without FILENAME: reading it would fail, so a 0 proves it was not read.
  FieldList sizeOnly;
  sizeOnly.addField(u"SIZE", FIELD_INT64);
  static_cast<Int64Field*>(sizeOnly.at(0))->setValue(5);
  ASSERT_FALSE(analyzer.reevaluate(&sizeOnly, nullptr, value, false));
  EXPECT_EQ(value.number(), 0);
  static_cast<Int64Field*>(sizeOnly.at(0))->setValue(50);
  TraceCapture traces;
  EXPECT_TRUE(analyzer.reevaluate(&sizeOnly, nullptr, value, false));
  EXPECT_TRUE(traces.contains("SyntaxTree::l_value - variable specified not found!\n"));

  // || stops at an exact 1 only.
  ASSERT_FALSE(analyzer.parse(u"[SIZE] || [FILENAME] == \"a\"", &file.list, nullptr, value, false));
  static_cast<Int64Field*>(sizeOnly.at(0))->setValue(1);
  ASSERT_FALSE(analyzer.reevaluate(&sizeOnly, nullptr, value, false));
  static_cast<Int64Field*>(sizeOnly.at(0))->setValue(2);
  EXPECT_TRUE(analyzer.reevaluate(&sizeOnly, nullptr, value, false));
}

TEST(SyntaxAnalyzerTest, WalkFollowsFieldsThatMoveOrChangeType) {
  FileColumns file;
  file.setInt32(u"PATHID", 7);
  SyntaxAnalyzer analyzer;
  CriteriaValue value;
  ASSERT_FALSE(analyzer.parse(u"[PATHID] == 7", &file.list, nullptr, value, false));
  FieldList moved;
  moved.addField(u"OTHER", FIELD_INT32);
  moved.addField(u"PATHID", FIELD_INT64);
  static_cast<Int64Field*>(moved.at(1))->setValue(7);
  ASSERT_FALSE(analyzer.reevaluate(&moved, nullptr, value, false));
  EXPECT_EQ(value.number(), 1);
  moved = file.list;
  static_cast<Int32Field*>(moved.findField(u"PATHID"))->setValue(8);
  ASSERT_FALSE(analyzer.reevaluate(&moved, nullptr, value, false));
  EXPECT_EQ(value.number(), 0);
  FieldList retyped;
  retyped.addField(u"PATHID", FIELD_WSTRING);
  EXPECT_TRUE(analyzer.reevaluate(&retyped, nullptr, value, false));
}

struct KeyCase {
  const char16_t* text;
  const char16_t* column;  // null: no key
  int64_t number;
  const char16_t* string;
};

TEST(SyntaxAnalyzerTest, IndexKeysAndWhenTheyAreDropped) {
  FileColumns file;
  CacheVariables variables;
  const KeyCase cases[] = {
      {u"[PATHID]==5", u"PATHID", 5, nullptr},
      {u"5==[PATHID]", u"PATHID", 5, nullptr},
      {u"[PATHID]==2+3", u"PATHID", 5, nullptr},
      {u"[PATHID]==-1", u"PATHID", -1, nullptr},
      {u"([PATHID]==5)", u"PATHID", 5, nullptr},
      {u"[FILENAME]==\"a.txt\"", u"FILENAME", 0, u"a.txt"},
      {u"\"a*\"==[FILENAME]", u"FILENAME", 0, u"a*"},
      {u"[PATHID]==5 && [ATTR]==6", u"PATHID", 5, nullptr},
      {u"[ATTR]>1 && [PATHID]==5", u"PATHID", 5, nullptr},
      {u"[PATHID]==5 && ([FILENAME]==filename || [SHORTFILENAME]==filename)", u"PATHID", 5,
       nullptr},
      {u"([PATHID]==5 || [ATTR]==1) && [SIZE]==3", u"SIZE", 3, nullptr},
      // No key: comparisons with variables, patterns, alternatives, negations, and comparisons
      // whose 0 or 1 is used again.
      {u"[PATHID]==pathid", nullptr, 0, nullptr},
      {u"[PATHID]==5 || [ATTR]==1", nullptr, 0, nullptr},
      {u"[ATTR]==1 || [PATHID]==5", nullptr, 0, nullptr},
      {u"[FILENAME]==\"*.txt\"", nullptr, 0, nullptr},
      {u"[FILENAME]=={\"a.txt\"}", nullptr, 0, nullptr},
      {u"[PATHID]!=5", nullptr, 0, nullptr},
      {u"[PATHID]>=5", nullptr, 0, nullptr},
      {u"[PATHID]+0==5", nullptr, 0, nullptr},
      {u"!([PATHID]==5)", nullptr, 0, nullptr},
      {u"-[PATHID]==5", nullptr, 0, nullptr},
      {u"[PATHID]==5==1", nullptr, 0, nullptr},
      {u"[ATTR]==([PATHID]==5)", nullptr, 0, nullptr},
      {u"([PATHID]==5)*2", nullptr, 0, nullptr},
      {u"[PATHID]==[ATTR]", nullptr, 0, nullptr},
  };
  for (const KeyCase& c : cases) {
    SCOPED_TRACE(std::string(c.text, c.text + std::char_traits<char16_t>::length(c.text)));
    SyntaxAnalyzer analyzer;
    CriteriaValue value;
    ASSERT_FALSE(analyzer.parse(c.text, &file.list, &variables.list, value, false));
    CriteriaValue key;
    if (c.column == nullptr) {
      EXPECT_FALSE(analyzer.getIndexKey(key));
      continue;
    }
    ASSERT_TRUE(analyzer.getIndexKey(key));
    EXPECT_EQ(std::u16string(key.name()), c.column);
    if (c.string != nullptr) {
      EXPECT_EQ(key.type(), CriteriaValue::STRING);
      EXPECT_EQ(std::u16string(key.string()), c.string);
    } else {
      EXPECT_EQ(key.type(), CriteriaValue::NUMERIC);
      EXPECT_EQ(key.number(), c.number);
    }
  }
}

TEST(SyntaxAnalyzerTest, StringSpaceLimits) {
  FileColumns file;
  std::u16string huge(STRING_SPACE, u'x');
  file.setString(u"FILENAME", huge);
  expectParseError(u"[FILENAME] == \"a\"", "SyntaxAnalyzer::factor - string space not available\n",
                   &file.list);
  std::u16string half(STRING_SPACE / 2, u'x');
  file.setString(u"FILENAME", half);
  expectParseError(u"[FILENAME] + [FILENAME] == \"a\"",
                   "SyntaxAnalyzer::expression - string space not available for concatenation\n",
                   &file.list);
  file.setString(u"FILENAME", half.substr(1));
  expectValues({{u"[FILENAME] + [FILENAME] + \"\" == [FILENAME] + [FILENAME]", 1}}, &file.list);
}

}  // namespace
