#include "criteria/syntax_analyzer.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "criteria/criteria_fixture.h"
#include "support/trace_capture.h"

namespace {

// Parses each case, then walks its tree again: both must give the value. Cases are separated by
// "; " and written "text -> value".
void expectValues(const std::u16string& cases, FieldList* columns = nullptr,
                  bool caseSensitive = false) {
  forEachCase(cases, [&](const std::u16string& text, const std::string& expected) {
    SyntaxAnalyzer analyzer;
    CriteriaValue value;
    SCOPED_TRACE(excerpt(text));
    ASSERT_FALSE(analyzer.parse(text.c_str(), columns, nullptr, value, caseSensitive));
    EXPECT_EQ(value.type(), CriteriaValue::NUMERIC);
    EXPECT_EQ(value.number(), std::stoll(expected));
    CriteriaValue again;
    ASSERT_FALSE(analyzer.reevaluate(columns, nullptr, again, caseSensitive));
    EXPECT_EQ(again.number(), std::stoll(expected));
  });
}

// The text fails to parse, tracing "SyntaxAnalyzer::<message>\n" and nothing else.
void expectParseError(const std::u16string& text, const std::string& message,
                      FieldList* columns = nullptr, FieldList* variables = nullptr) {
  TraceCapture traces;
  SyntaxAnalyzer analyzer;
  CriteriaValue value;
  SCOPED_TRACE(excerpt(text));
  EXPECT_TRUE(analyzer.parse(text.c_str(), columns, variables, value, false));
  std::vector<CapturedTrace> records = traces.records();
  ASSERT_EQ(records.size(), 1u);
  EXPECT_EQ(records.front().message, "SyntaxAnalyzer::" + message + "\n");
  EXPECT_EQ(records.front().file, "fscanner/fscommon/syntaxanalyzer");
}

TEST(SyntaxAnalyzerTest, OperatorsPrecedenceFieldsAndStrings) {
  // Relations chain: each compares the 0 or 1 of the one before.
  expectValues(
      u"1+2*3 -> 7; (1+2)*3 -> 9; 7-2-1 -> 4; -3*2 -> -6; !0 -> 1; !5 -> 0; --5 -> 5; "
      u"+-+5 -> -5; -7/2 -> -3; 6&3|8 -> 10; 1|2&3 -> 3; 0 || 0 -> 0; 1 && 0 -> 0; 1 < 2 < 3 -> 1; "
      u"2>1 && 1>2 || 3==3 -> 1; 3==3 || 2>1 && 1>2 -> 1; 3 > 2 > 1 -> 0; 2 != 2 == 0 -> 1; "
      u"\"b\" > \"a\" -> 1; \"a\" >= \"b\" -> 0; \"ab\" + \"cd\" == \"abcd\" -> 1; "
      u"\"read*\" == \"read*\" -> 1; 9223372036854775807 + 1 == -9223372036854775807 - 1 -> 1");
  FileColumns file;
  file.setInt64(u"SIZE", 5000000000LL);
  file.setInt32(u"ATTR", -1);
  static_cast<ByteField*>(file.list.findField(u"FLAGS"))->setValue(0xFF);
  static_cast<WordField*>(file.list.findField(u"KIND"))->setValue(0xFFFF);
  file.setString(u"FILENAME", u"README.TXT");
  // Only a right-hand string is a pattern.
  expectValues(
      u"[SIZE] == 5000000000 -> 1; [SIZE] == 705032704 -> 0; [SIZE] > 4999999999 -> 1; "
      u"[SIZE] > 5000000000 -> 0; [SIZE] < 5000000000 -> 0; [SIZE] >= 5000000000 -> 1; "
      u"[SIZE] <= 4999999999 -> 0; [KIND] <= 65535 -> 1; [FLAGS] >= 256 -> 0; "
      u"[ATTR] == 4294967295 -> 1; [ATTR] > 0 -> 1; [FLAGS] + [KIND] -> 65790; "
      u"\"read*.t?t\" == [FILENAME] -> 0; [FILENAME] == {\"*.exe\", \"readme*\"} -> 1; "
      u"[FILENAME] != {\"*.exe\", \"*.dll\"} -> 1; [FILENAME] == {} -> 0; "
      u"[FILENAME] <= \"readme.txt\" && [FILENAME] >= \"README.TXT\" -> 1",
      &file.list, false);
  expectValues(
      u"[FILENAME] == {\"readme*\"} -> 1; [FILENAME] > \"README.TXT\" -> 0; "
      u"[FILENAME] < \"readme.txt\" -> 1",
      &file.list, true);
  CriteriaValue text;
  SyntaxAnalyzer analyzer;
  ASSERT_FALSE(analyzer.parse(u"[FILENAME] + \"!\"", &file.list, nullptr, text, false));
  EXPECT_EQ(text.type(), CriteriaValue::STRING);
  EXPECT_EQ(std::u16string(text.string()), u"README.TXT!");

  // A field against a string literal: the parse loads the field, the walk decides in place with
  // the literal's pattern prepared, alone or in a conjunction. Each row: a name, then patterns it
  // must match (+) or not (-) without case, and after "|" with case. Folding is ASCII only, '?'
  // is one UTF-16 unit, and a wildcard sees a text up to its first zero unit.
  const std::pair<std::u16string, std::u16string> rows[] = {
      {u"Stdio.H",
       u"+*.h +stdio.h +STDIO.H -xtdio.h +s*O*h -*.hh +std* -h* +*DIO* +*d*o*H -*d*x* "
       u"-*?d?o.h? | -*.h +*.H -stdio.h +S?dio.H -s* -*DIO* +*di?.* -*.H?"},
      {u"", u"+ +* -? +** -*a* | -a"},
      {u"h", u"-*.h +? -?? +*h* -h*h -*h?* | +*"},
      {u"x\u00c4y", u"-*\u00e4* +*\u00c4* +X?Y | +x\u00c4y -X?y"},
      {u"a\U0001F600", u"-a? +a?? +*\U0001F600 +?* | -A* +a\U0001F600"},
      {std::u16string(u"ab\0.h", 5), u"-*.h +ab* -ab +*b | +a? -ab"},
  };
  file.setInt64(u"SIZE", -5);
  for (const auto& [name, words] : rows) {
    file.setString(u"FILENAME", name);
    bool caseSensitive = false;
    for (size_t at = 0, end = 0; at < words.size(); at = end + 1) {
      end = std::min(words.find(u' ', at), words.size());
      caseSensitive = caseSensitive || words[at] == u'|';
      if (words[at] == u'|') continue;
      const std::u16string literal = u"\"" + words.substr(at + 1, end - at - 1) + u"\"";
      const bool match = words[at] == u'+';
      expectValues(u"[FILENAME] == " + literal + (match ? u" -> 1" : u" -> 0") +
                       u"; [SIZE] < 0 && [FILENAME] != " + literal + (match ? u" -> 0" : u" -> 1"),
                   &file.list, caseSensitive);
    }
  }
}

TEST(SyntaxAnalyzerTest, ErrorsTraceOnlyTheFirstMessage) {
  FileColumns file;
  CacheVariables variables;
  forEachCase(
      u" -> factor - unexpected sequence!; 1 2 -> parse - expected operator.; "
      u"1 = 1 -> parse - expected operator.; (1+2 -> factor - expected ')'; "
      u"1 == ) -> factor - unexpected sequence!; *5 -> factor - expected '+' or '-'!; "
      u"&& 1 -> factor - expected '!'; -\"a\" -> factor - factor operand is not NUMERIC; "
      u"!\"a\" -> factor - factor operand is not NUMERIC; "
      u"\"ab\" + 1 -> expression - expression operands of different types or not NUMERIC; "
      u"\"ab\" - \"cd\" -> expression - operator '' not permitted on string type; "
      u"\"ab\" * 2 -> term - term operands of different types or not NUMERIC; "
      u"\"a\" == 1 -> relation - relation operands of different types!; "
      u"\"a\" && 1 -> bTerm - bTerm operands of different types or not NUMERIC; "
      u"1 || \"a\" -> bExpression - bExpression operands of different types or not NUMERIC; "
      u"nothere == 1 -> factor - variable specified not found!; "
      u"[pathid] == 1 -> factor - variable specified not found!; "
      u"[BLOB] == 1 -> factor - typeXXX unknown!; 1 / 0 -> term - division by zero or overflow; "
      u"(0-9223372036854775807-1) / -1 -> term - division by zero or overflow; "
      u"1/0 + 2/0 + ) -> term - division by zero or overflow",
      [&](const std::u16string& text, const std::string& message) {
        expectParseError(text, message, &file.list, &variables.list);
      });
  expectParseError(u"pathid == 1", "factor - variable specified not found!", &file.list);

  // No text: no tree to walk (a text that fails to parse: criteria_evaluator_test).
  SyntaxAnalyzer analyzer;
  CriteriaValue value;
  EXPECT_TRUE(analyzer.parse(nullptr, nullptr, nullptr, value, false));
  EXPECT_TRUE(analyzer.reevaluate(nullptr, nullptr, value, false));
}

// What walking the analyzer's tree again over columns gives: its number, or "failed".
std::string walkAgain(SyntaxAnalyzer& analyzer, FieldList* columns) {
  CriteriaValue value;
  return analyzer.reevaluate(columns, nullptr, value, false) ? "failed"
                                                             : std::to_string(value.number());
}

// Division by zero and the walk's short-circuits: the right side of && after a 0 and of || after
// an exact 1 is not evaluated; after another non-zero it is, but cannot fail by a division.
TEST(SyntaxAnalyzerTest, DivisionsShortCircuitsAndFieldsReadAgain) {
  expectValues(u"0 && 1/0 -> 0; 1 || 1/0 -> 1; 5 || 1/0 == 0 -> 1");
  FileColumns file;
  SyntaxAnalyzer analyzer;
  CriteriaValue value;
  // A division that fails at the parse leaves the tree usable for other records.
  EXPECT_TRUE(analyzer.parse(u"100 / [ATTR] == 50", &file.list, nullptr, value, false));
  file.setInt32(u"ATTR", 2);
  EXPECT_EQ(walkAgain(analyzer, &file.list), "1");
  file.setInt32(u"ATTR", 0);
  TraceCapture traces;
  EXPECT_EQ(walkAgain(analyzer, &file.list), "failed");
  EXPECT_TRUE(traces.contains("SyntaxTree::resolve - division by zero or overflow\n"));
  // The walk finds fields by name in whatever list it is given, at any position and width.
  TestFields moved({{u"OTHER", FIELD_INT32}, {u"ATTR", FIELD_INT64}});
  for (int64_t attr : {2, 4}) {
    moved.setInt64(u"ATTR", attr);
    EXPECT_EQ(walkAgain(analyzer, &moved.list), attr == 2 ? "1" : "0");
  }
  TestFields retyped({{u"ATTR", FIELD_WSTRING}});
  EXPECT_EQ(walkAgain(analyzer, &retyped.list), "failed");

  file.setInt64(u"SIZE", 50);
  file.setString(u"FILENAME", u"a");
  ASSERT_FALSE(
      analyzer.parse(u"([SIZE] > 10) && ([FILENAME] == \"a\")", &file.list, nullptr, value, false));
  EXPECT_EQ(value.number(), 1);
  // A list without FILENAME: reading it would fail, so a 0 proves it was not read.
  TestFields sizeOnly({{u"SIZE", FIELD_INT64}});
  sizeOnly.setInt64(u"SIZE", 5);
  EXPECT_EQ(walkAgain(analyzer, &sizeOnly.list), "0");
  sizeOnly.setInt64(u"SIZE", 50);
  EXPECT_EQ(walkAgain(analyzer, &sizeOnly.list), "failed");
  EXPECT_TRUE(traces.contains("SyntaxTree::l_value - variable specified not found!\n"));
  ASSERT_FALSE(analyzer.parse(u"[SIZE] || [FILENAME] == \"a\"", &file.list, nullptr, value, false));
  sizeOnly.setInt64(u"SIZE", 1);
  EXPECT_EQ(walkAgain(analyzer, &sizeOnly.list), "1");
  sizeOnly.setInt64(u"SIZE", 2);
  EXPECT_EQ(walkAgain(analyzer, &sizeOnly.list), "failed");
}

// The index key that parsing text leaves, as "COLUMN=number" or "COLUMN=\"string\"", or "".
std::string indexKeyOf(const char16_t* text) {
  FileColumns file;
  CacheVariables variables;
  SyntaxAnalyzer analyzer;
  CriteriaValue value;
  CriteriaValue key;
  EXPECT_FALSE(analyzer.parse(text, &file.list, &variables.list, value, false));
  if (!analyzer.getIndexKey(key)) return "";
  return narrow(key.name()) + "=" +
         (key.type() == CriteriaValue::NUMERIC ? std::to_string(key.number())
                                               : "\"" + narrow(key.string()) + "\"");
}

TEST(SyntaxAnalyzerTest, IndexKeysAndWhenTheyAreDropped) {
  // No key from comparisons with variables, patterns, alternatives, negations, and comparisons
  // whose 0 or 1 is used again.
  forEachCase(
      u"[PATHID]==5 -> PATHID=5; 5==[PATHID] -> PATHID=5; [PATHID]==2+3 -> PATHID=5; "
      u"[PATHID]==-1 -> PATHID=-1; ([PATHID]==5) -> PATHID=5; "
      u"[FILENAME]==\"a.txt\" -> FILENAME=\"a.txt\"; \"a*\"==[FILENAME] -> FILENAME=\"a*\"; "
      u"[PATHID]==5 && [ATTR]==6 -> PATHID=5; [ATTR]>1 && [PATHID]==5 -> PATHID=5; "
      u"[PATHID]==5 && ([FILENAME]==filename || [SHORTFILENAME]==filename) -> PATHID=5; "
      u"([PATHID]==5 || [ATTR]==1) && [SIZE]==3 -> SIZE=3; [PATHID]==pathid -> ; "
      u"[PATHID]==5 || [ATTR]==1 -> ; [ATTR]==1 || [PATHID]==5 -> ; [FILENAME]==\"*.txt\" -> ; "
      u"[FILENAME]=={\"a.txt\"} -> ; [PATHID]!=5 -> ; [PATHID]>=5 -> ; [PATHID]+0==5 -> ; "
      u"!([PATHID]==5) -> ; -[PATHID]==5 -> ; [PATHID]==5==1 -> ; [ATTR]==([PATHID]==5) -> ; "
      u"([PATHID]==5)*2 -> ; [PATHID]==[ATTR] -> ",
      [](const std::u16string& text, const std::string& key) {
        EXPECT_EQ(indexKeyOf(text.c_str()), key) << excerpt(text);
      });
}

// Every operand read is checked against the string space, even one whose value cannot change
// the result, at the parse and wherever the walk goes.
TEST(SyntaxAnalyzerTest, StringSpaceIsCheckedInEveryOperand) {
  FileColumns file;
  const std::u16string full(STRING_SPACE, u'x');
  const std::u16string half(STRING_SPACE / 2, u'x');
  file.setString(u"FILENAME", full);
  for (const char16_t* text : {u"[FILENAME] == \"a\"", u"0 && [FILENAME] == \"a\""}) {
    expectParseError(text, "factor - string space not available", &file.list);
  }
  file.setString(u"FILENAME", half);
  for (const char16_t* text : {u"[FILENAME]+[FILENAME] == \"\"", u"1 || [FILENAME]+[FILENAME]"}) {
    expectParseError(text, "expression - string space not available for concatenation", &file.list);
  }
  file.setString(u"FILENAME", half.substr(1));
  expectValues(u"[FILENAME] + [FILENAME] + \"\" == [FILENAME] + [FILENAME] -> 1", &file.list);

  // Literals that cannot be joined fail the text itself, at every evaluation.
  const std::u16string literal = u"\"" + half + u"\"";
  CriteriaEvaluator literals((u"0 && " + literal + u" + " + literal + u" == \"\"").c_str());
  TraceCapture traces;
  EXPECT_EQ(literals.evaluate(false), -1);
  EXPECT_EQ(literals.evaluate(false), -1);
  EXPECT_TRUE(traces.contains(
      "SyntaxAnalyzer::expression - string space not available for concatenation\n"));

  // || after a non-zero other than 1: the walk reads the right side and checks it as the parse.
  SyntaxAnalyzer analyzer;
  CriteriaValue value;
  file.setInt64(u"SIZE", 2);
  ASSERT_FALSE(
      analyzer.parse(u"[SIZE] || [FILENAME] + \"a\" == \"\"", &file.list, nullptr, value, false));
  file.setString(u"FILENAME", full.substr(1));
  EXPECT_EQ(walkAgain(analyzer, &file.list), "failed");
  EXPECT_TRUE(
      traces.contains("SyntaxTree::resolve - string space not available for concatenation\n"));
  file.setString(u"FILENAME", full);
  EXPECT_EQ(walkAgain(analyzer, &file.list), "failed");
  EXPECT_TRUE(traces.contains("SyntaxTree::l_value - string space not available\n"));
  file.setInt64(u"SIZE", 1);
  // A field compared with a literal in place leaves a string that long to the full read.
  for (const char16_t* text :
       {u"[SIZE] == 1 && [FILENAME] == \"a\"", u"[SIZE] == 0 || [FILENAME] == \"\""}) {
    file.setString(u"FILENAME", u"");
    ASSERT_FALSE(analyzer.parse(text, &file.list, nullptr, value, false));
    file.setString(u"FILENAME", full);
    EXPECT_EQ(walkAgain(analyzer, &file.list), "failed") << narrow(text);
  }
}

}  // namespace
