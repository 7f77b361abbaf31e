// Arbitrary text through the criteria language: each input byte becomes one UTF-16 unit (so the
// grammar's ASCII is reached quickly), the first byte chooses the case switch. The text is
// evaluated twice (parse, then the walk of its tree) against the criteria tests' file columns and
// cache variables, and a second evaluator asks it for its index key first.
#include <cstddef>
#include <cstdint>
#include <string>

#include "criteria/criteria_fixture.h"

namespace {

struct Lists {
  Lists() {
    file.setString(u"FILENAME", u"Setup.EXE");
    file.setString(u"SHORTFILENAME", u"SETUP~1.EXE");
    file.setInt64(u"SIZE", 5000000000LL);
    file.setInt32(u"PATHID", -1);
    variables.setInt32(u"pathid", 7);
    variables.setString(u"filename", u"readme.txt");
  }
  FileColumns file;
  CacheVariables variables;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static Lists lists;
  if (size == 0) return 0;
  bool caseSensitive = (data[0] & 1) != 0;
  std::u16string text(data + 1, data + size);

  CriteriaEvaluator evaluator(text.c_str());
  evaluator.setColumns(&lists.file.list);
  evaluator.setVariables(&lists.variables.list);
  evaluator.evaluate(caseSensitive);
  evaluator.evaluate(!caseSensitive);

  CriteriaEvaluator keyed(text.c_str());
  keyed.setColumns(&lists.file.list);
  keyed.setVariables(&lists.variables.list);
  keyed.indexKey();
  keyed.evaluate(caseSensitive);
  return 0;
}
