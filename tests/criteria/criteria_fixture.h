// Shared set-up of the criteria tests: the file walk's columns, the cache's variables, case lists
// and one-line evaluation helpers.
#ifndef FSCANNER_TESTS_CRITERIA_CRITERIA_FIXTURE_H
#define FSCANNER_TESTS_CRITERIA_CRITERIA_FIXTURE_H

#include <algorithm>
#include <cstdint>
#include <initializer_list>
#include <string>

#include "criteria/criteria_evaluator.h"
#include "criteria/criteria_lexer.h"
#include "criteria/syntax_analyzer.h"
#include "support/narrow_text.h"
#include "tablestore/field.h"

// A field list with typed setters by name.
class TestFields {
 public:
  struct Column {
    const char16_t* name;
    uint32_t type;
  };
  explicit TestFields(std::initializer_list<Column> columns) {
    for (const Column& column : columns) list.addField(column.name, column.type);
  }

  void setString(const char16_t* name, const std::u16string& value) {
    as<WStringField>(name)->setValue(value.c_str(), value.size());
  }
  void setInt32(const char16_t* name, int32_t value) { as<Int32Field>(name)->setValue(value); }
  void setInt64(const char16_t* name, int64_t value) { as<Int64Field>(name)->setValue(value); }

  FieldList list;

 private:
  template <typename FieldType>
  FieldType* as(const char16_t* name) {
    return static_cast<FieldType*>(list.findField(name));
  }
};

// The columns a file walk binds, plus one of every other type the language reads.
class FileColumns : public TestFields {
 public:
  FileColumns()
      : TestFields({{u"FILENAME", FIELD_WSTRING},
                    {u"SHORTFILENAME", FIELD_WSTRING},
                    {u"SIZE", FIELD_INT64},
                    {u"ATTR", FIELD_INT32},
                    {u"PATHID", FIELD_INT32},
                    {u"MD5", FIELD_WSTRING},
                    {u"FLAGS", FIELD_BYTE},
                    {u"KIND", FIELD_WORD},
                    {u"BLOB", FIELD_SHORT_BLOB}}) {
    setString(u"FILENAME", u"readme.txt");
    setString(u"SHORTFILENAME", u"README.TXT");
    setInt64(u"SIZE", 0);
    setInt32(u"ATTR", 0);
    setInt32(u"PATHID", 0);
  }
};

// The cache's criteria variables.
class CacheVariables : public TestFields {
 public:
  CacheVariables()
      : TestFields({{u"id", FIELD_INT32},
                    {u"pathid", FIELD_INT32},
                    {u"pathname", FIELD_WSTRING},
                    {u"filename", FIELD_WSTRING}}) {}
};

inline std::string excerpt(const std::u16string& text) {
  return narrow(text.substr(0, std::min<size_t>(text.size(), 80)));
}

inline std::u16string decimal(uint64_t n) {
  std::string digits = std::to_string(n);
  return std::u16string(digits.begin(), digits.end());
}

// Calls check(text, expected) for each case of a list written "text -> expected; text -> expected".
template <typename Check>
void forEachCase(const std::u16string& cases, Check check) {
  for (size_t start = 0, end = 0; start < cases.size(); start = end + 2) {
    end = std::min(cases.find(u"; ", start), cases.size());
    const size_t arrow = cases.find(u" -> ", start);
    check(cases.substr(start, arrow - start), narrow(cases.substr(arrow + 4, end - arrow - 4)));
  }
}

// The tokens of a whole text, one word each: a kind letter (N number, S string, C column,
// V variable, A arithmetic, P parenthesis, B boolean, R relational, K command, U punctuation),
// then the number or the text in parentheses; "$" ends a text that ran out, "?" one that failed
// (either without a token).
inline std::string tokensOf(const std::u16string& text) {
  CriteriaLexer lexer;
  lexer.setText(text.c_str());
  std::string out;
  for (;;) {
    const CriteriaToken& token = lexer.next();
    if (lexer.status() != CriteriaLexer::LEX_OK) {
      return out + (lexer.status() == CriteriaLexer::LEX_END ? "$" : "?") +
             (token.kind != TokNone ? " with a token" : "");
    }
    out += "NSCVAPBRKU"[token.kind];
    out += token.kind <= TokVariable && token.kind != TokNumeric ? "(" + narrow(token.text) + ")"
                                                                 : std::to_string(token.number);
    out += " ";
  }
}

// Parses text once against the lists and returns what evaluate() gives.
inline int evaluateOnce(const std::u16string& text, FieldList* columns = nullptr,
                        FieldList* variables = nullptr, bool caseSensitive = false) {
  CriteriaEvaluator evaluator(text.c_str());
  return evaluator.evaluate(columns, variables, caseSensitive);
}

#endif  // FSCANNER_TESTS_CRITERIA_CRITERIA_FIXTURE_H
