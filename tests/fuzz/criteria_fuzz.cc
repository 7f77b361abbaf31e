// Arbitrary text through the criteria language: each input byte becomes one UTF-16 unit (so the
// grammar's ASCII is reached quickly), the first byte chooses the case switch. The text is
// evaluated twice (parse, then the walk of its tree) against a fixed list of file columns and
// cache variables, and a second evaluator asks it for its index key first.
#include <cstddef>
#include <cstdint>
#include <string>

#include "criteria/criteria_evaluator.h"
#include "tablestore/field.h"

namespace {

struct Lists {
  Lists() {
    columns.addField(u"FILENAME", FIELD_WSTRING);
    columns.addField(u"SHORTFILENAME", FIELD_WSTRING);
    columns.addField(u"SIZE", FIELD_INT64);
    columns.addField(u"ATTR", FIELD_INT32);
    columns.addField(u"PATHID", FIELD_INT32);
    columns.addField(u"MD5", FIELD_WSTRING);
    columns.addField(u"FLAGS", FIELD_BYTE);
    columns.addField(u"KIND", FIELD_WORD);
    columns.addField(u"BLOB", FIELD_SHORT_BLOB);
    static_cast<WStringField*>(columns.at(0))->setValue(u"Setup.EXE");
    static_cast<WStringField*>(columns.at(1))->setValue(u"SETUP~1.EXE");
    static_cast<Int64Field*>(columns.at(2))->setValue(5000000000LL);
    static_cast<Int32Field*>(columns.at(3))->setValue(0);
    static_cast<Int32Field*>(columns.at(4))->setValue(-1);
    variables.addField(u"pathid", FIELD_INT32);
    variables.addField(u"filename", FIELD_WSTRING);
    static_cast<Int32Field*>(variables.at(0))->setValue(7);
    static_cast<WStringField*>(variables.at(1))->setValue(u"readme.txt");
  }
  FieldList columns;
  FieldList variables;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static Lists lists;
  if (size == 0) return 0;
  bool caseSensitive = (data[0] & 1) != 0;
  std::u16string text(data + 1, data + size);

  CriteriaEvaluator evaluator(text.c_str());
  evaluator.setColumns(&lists.columns);
  evaluator.setVariables(&lists.variables);
  evaluator.evaluate(caseSensitive);
  evaluator.evaluate(!caseSensitive);

  CriteriaEvaluator keyed(text.c_str());
  keyed.setColumns(&lists.columns);
  keyed.setVariables(&lists.variables);
  keyed.indexKey();
  keyed.evaluate(caseSensitive);
  return 0;
}
