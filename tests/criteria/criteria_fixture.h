// Shared set-up of the criteria tests: the file walk's column list, the cache's variables, and
// one-line evaluation helpers.
#ifndef FSCANNER_TESTS_CRITERIA_CRITERIA_FIXTURE_H
#define FSCANNER_TESTS_CRITERIA_CRITERIA_FIXTURE_H

#include <cstdint>
#include <string>

#include "fscommon/criteria_evaluator.h"
#include "fscommon/syntax_analyzer.h"
#include "tablestore/field.h"

// The columns a file walk binds, plus one of every other type the language reads.
class FileColumns {
 public:
  FileColumns() {
    list.addField(u"FILENAME", FIELD_WSTRING);
    list.addField(u"SHORTFILENAME", FIELD_WSTRING);
    list.addField(u"SIZE", FIELD_INT64);
    list.addField(u"ATTR", FIELD_INT32);
    list.addField(u"PATHID", FIELD_INT32);
    list.addField(u"FLAGS", FIELD_BYTE);
    list.addField(u"KIND", FIELD_WORD);
    list.addField(u"BLOB", FIELD_SHORT_BLOB);
    setString(u"FILENAME", u"readme.txt");
    setString(u"SHORTFILENAME", u"README.TXT");
    setInt64(u"SIZE", 0);
    setInt32(u"ATTR", 0);
    setInt32(u"PATHID", 0);
  }

  void setString(const char16_t* name, const std::u16string& value) {
    static_cast<WStringField*>(list.findField(name))->setValue(value.c_str(), value.size());
  }
  void setInt32(const char16_t* name, int32_t value) {
    static_cast<Int32Field*>(list.findField(name))->setValue(value);
  }
  void setInt64(const char16_t* name, int64_t value) {
    static_cast<Int64Field*>(list.findField(name))->setValue(value);
  }
  void setByte(const char16_t* name, uint8_t value) {
    static_cast<ByteField*>(list.findField(name))->setValue(value);
  }
  void setWord(const char16_t* name, uint16_t value) {
    static_cast<WordField*>(list.findField(name))->setValue(value);
  }

  FieldList list;
};

// The cache's criteria variables.
class CacheVariables {
 public:
  CacheVariables() {
    list.addField(u"id", FIELD_INT32);
    list.addField(u"pathid", FIELD_INT32);
    list.addField(u"pathname", FIELD_WSTRING);
    list.addField(u"filename", FIELD_WSTRING);
  }
  void setInt32(const char16_t* name, int32_t value) {
    static_cast<Int32Field*>(list.findField(name))->setValue(value);
  }
  void setString(const char16_t* name, const std::u16string& value) {
    static_cast<WStringField*>(list.findField(name))->setValue(value.c_str());
  }

  FieldList list;
};

// Parses text once against the lists and returns what evaluate() gives.
inline int evaluateOnce(const std::u16string& text, FieldList* columns = nullptr,
                        FieldList* variables = nullptr, bool caseSensitive = false) {
  CriteriaEvaluator evaluator(text.c_str());
  return evaluator.evaluate(columns, variables, caseSensitive);
}

// Parses text with the analyzer and returns its value; `error` receives parse's result.
inline CriteriaValue parseValue(const std::u16string& text, bool* error,
                                FieldList* columns = nullptr, FieldList* variables = nullptr,
                                bool caseSensitive = false) {
  SyntaxAnalyzer analyzer;
  CriteriaValue value;
  *error = analyzer.parse(text.c_str(), columns, variables, value, caseSensitive);
  return value;
}

#endif  // FSCANNER_TESTS_CRITERIA_CRITERIA_FIXTURE_H
