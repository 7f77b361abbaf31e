#include "criteria/column_reads.h"

#include <new>

#include "criteria/criteria_lexer.h"

bool readsOnlyColumn(const char16_t* text, const char16_t* column) {
  if (text == nullptr || column == nullptr) return false;
  try {
    CriteriaLexer lexer;
    lexer.setText(text);
    for (;;) {
      const CriteriaToken& token = lexer.next();
      if (lexer.status() == CriteriaLexer::LEX_END) return true;
      if (lexer.status() != CriteriaLexer::LEX_OK || token.kind == TokVariable ||
          token.kind == TokCommand || (token.kind == TokColumn && token.text != column)) {
        return false;
      }
    }
  } catch (const std::bad_alloc&) {
    return false;
  }
}

bool readsColumn(const char16_t* text, const char16_t* column) {
  if (text == nullptr || column == nullptr) return false;
  try {
    CriteriaLexer lexer;
    lexer.setText(text);
    for (;;) {
      const CriteriaToken& token = lexer.next();
      if (lexer.status() == CriteriaLexer::LEX_END) return false;
      if (lexer.status() != CriteriaLexer::LEX_OK ||
          (token.kind == TokColumn && token.text == column)) {
        return true;
      }
    }
  } catch (const std::bad_alloc&) {
    return true;
  }
}
