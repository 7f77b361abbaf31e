#include "criteria/column_reads.h"

#include <new>

#include "criteria/criteria_lexer.h"

namespace {

// Walks text's tokens: the first one for which stops(token) holds answers `stopped`, the end of
// the text `ended`, a text the lexer cannot cut or a lack of memory `failed`.
template <typename Stops>
bool walkTokens(const char16_t* text, Stops stops, bool stopped, bool ended, bool failed) {
  try {
    CriteriaLexer lexer;
    lexer.setText(text);
    for (;;) {
      const CriteriaToken& token = lexer.next();
      if (lexer.status() == CriteriaLexer::LEX_END) return ended;
      if (lexer.status() != CriteriaLexer::LEX_OK) return failed;
      if (stops(token)) return stopped;
    }
  } catch (const std::bad_alloc&) {
    return failed;
  }
}

}  // namespace

bool readsOnlyColumn(const char16_t* text, const char16_t* column) {
  if (text == nullptr || column == nullptr) return false;
  auto readsOther = [column](const CriteriaToken& token) {
    return token.kind == TokVariable || token.kind == TokCommand ||
           (token.kind == TokColumn && token.text != column);
  };
  return walkTokens(text, readsOther, false, true, false);
}

bool readsColumn(const char16_t* text, const char16_t* column) {
  if (text == nullptr || column == nullptr) return false;
  auto readsIt = [column](const CriteriaToken& token) {
    return token.kind == TokColumn && token.text == column;
  };
  return walkTokens(text, readsIt, true, false, true);
}
