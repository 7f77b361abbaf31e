// Parses a criteria text by recursive descent and evaluates it in the same pass, storing the
// syntax tree; later evaluations walk the tree instead (syntax_walk.h). While parsing it also
// picks out the index key: a comparison by == of one column with a constant that is a conjunct of
// the text's top level, which a record set can seek instead of scanning.
//
// Grammar, lowest precedence first; every binary level is a loop (left-associative; relations
// chain, so a < b < c compares the 0 or 1 of a < b with c):
//   bExpression := bTerm { "||" bTerm }
//   bTerm       := relation { "&&" relation }
//   relation    := expression { (== >= <= > < !=) expression }
//   expression  := term { (+ - |) term }
//   term        := factor { (* / &) factor }
//   factor      := literal | [column] | variable | "(" bExpression ")" | (+ -) factor
//                | "!" factor | command "(" bExpression ["," bExpression] ")"
//
// Bounded stack: only parentheses, unary operators and command arguments recurse, and no more
// than kMaxNesting of them may be open at once; deeper texts are syntax errors. Chains of binary
// operators are loops however long, and the tree is built, walked and freed without recursion.
//
// Errors: the first error of a parse is traced and makes parse() return true. Errors of the text
// itself (syntax, types, unknown names, literals whose concatenation exceeds the string space,
// memory running out) stop the parse and leave no tree to walk. Errors of the values read
// (division by zero, a field or concatenation beyond the string space, a failed command) end the
// evaluation but not the parse, so the stored tree stays usable for other records. Field reads and
// the string space are checked in every operand, even one whose value cannot change the result;
// a division or command there (the right side of && after a 0, of || after a non-zero) is no
// error, the operand is worth 0 instead. No exception leaves the analyzer: running out of memory
// is a traced error like any other.
#ifndef FSCANNER_CRITERIA_SYNTAX_ANALYZER_H
#define FSCANNER_CRITERIA_SYNTAX_ANALYZER_H

#include <cassert>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "criteria/criteria_lexer.h"
#include "criteria/criteria_value.h"
#include "criteria/syntax_tree.h"
#include "criteria/syntax_walk.h"

class FieldList;
class ZrLogWrapper;

class SyntaxAnalyzer {
 public:
  // Open parentheses, unary operators and command calls at any point of a text.
  static constexpr uint32_t kMaxNesting = 256;

  // Empties the command registry (criteria_commands.h).
  SyntaxAnalyzer();
  ~SyntaxAnalyzer();
  SyntaxAnalyzer(const SyntaxAnalyzer&) = delete;
  SyntaxAnalyzer& operator=(const SyntaxAnalyzer&) = delete;

  // Parses and evaluates text against the lists (either may be null) and stores its tree.
  // Returns true on error; result holds the value only when false was returned.
  bool parse(const char16_t* text, FieldList* columns, FieldList* variables, CriteriaValue& result,
             bool caseSensitive);
  // Evaluates the stored tree against the lists. Returns true on error, which includes having no
  // usable tree (no parse yet, or the last one failed on its text; traced once per parse).
  bool reevaluate(FieldList* columns, FieldList* variables, CriteriaValue& result,
                  bool caseSensitive);
  // Makes the walk look its fields up by name again: the lists now hold other fields.
  void forgetFields() { walk_.forgetFields(); }
  // The index key of the last parse: true, and key = a copy, when it has one.
  bool getIndexKey(CriteriaValue& key) const;

  // While set, commands are type-checked but not executed (a parse only for the index key).
  void setAnalyzeOnly(bool analyzeOnly) { analyzeOnly_ = analyzeOnly; }
  bool analyzeOnly() const { return analyzeOnly_; }
  const SyntaxTree& tree() const { return tree_; }

 private:
  // Scratch values for the grammar levels, kept off the stack so that each nesting level costs
  // only a few small frames.
  class ValuePool {
   public:
    CriteriaValue& acquire();
    void release() {
      assert(used_ > 0);
      --used_;
    }

   private:
    std::vector<std::unique_ptr<CriteriaValue>> values_;
    size_t used_ = 0;
  };
  class PooledValue;

  bool parseText(const char16_t* text, CriteriaValue& result);
  // Drops the tree and the text's pattern sets and records the (traced) error.
  bool outOfMemory();

  void bExpression(CriteriaValue& result, bool needed, SyntaxTree& tree);
  void bTerm(CriteriaValue& result, bool needed, SyntaxTree& tree);
  void relation(CriteriaValue& result, bool needed, SyntaxTree& tree);
  void expression(CriteriaValue& result, bool needed, SyntaxTree& tree);
  void term(CriteriaValue& result, bool needed, SyntaxTree& tree);
  void factor(CriteriaValue& result, bool needed, SyntaxTree& tree);

  using Level = void (SyntaxAnalyzer::*)(CriteriaValue&, bool, SyntaxTree&);
  using Combine = bool (SyntaxAnalyzer::*)(int64_t code, CriteriaValue& result,
                                           const CriteriaValue& right, bool needed);
  // Parses `operand (operator operand)*` for the arithmetic operators isOperator accepts; each
  // right operand is joined to tree and folded into result by combine (false ends the parse).
  // An index key that first appeared inside the chain is dropped.
  void arithmeticChain(CriteriaValue& result, bool needed, SyntaxTree& tree, Level operand,
                       bool (*isOperator)(const CriteriaToken&), Combine combine);
  bool combineSum(int64_t code, CriteriaValue& result, const CriteriaValue& right, bool needed);
  bool combineProduct(int64_t code, CriteriaValue& result, const CriteriaValue& right, bool needed);

  void operand(const CriteriaToken& token, CriteriaValue& result, SyntaxTree& tree);
  void nested(CriteriaValue& result, bool needed, SyntaxTree& tree);
  void unary(TokenKind kind, int64_t code, CriteriaValue& result, bool needed, SyntaxTree& tree);
  void commandCall(int64_t index, CriteriaValue& result, bool needed, SyntaxTree& tree);
  bool enterNesting();
  // Puts an operator node over tree and right; false (and a stopped parse) without memory.
  bool join(SyntaxTree& tree, SyntaxTree& right, TokenKind kind, int64_t code);
  bool startOperand(SyntaxTree& tree);
  void deriveIndexKey(CriteriaValue& left, const CriteriaValue& right);
  void clearIndexKey();
  // Records the first error; `stop` for errors of the text, which end the parse.
  bool firstError(bool stop);

  CriteriaLexer lexer_;
  bool error_ = false;
  bool stopped_ = false;
  bool traced_ = false;
  bool noTreeTraced_ = false;
  FieldList* columns_ = nullptr;
  FieldList* variables_ = nullptr;
  bool caseSensitive_ = false;
  CriteriaValue indexKey_;
  uint32_t orDepth_ = 0;
  bool keyUsable_ = false;
  uint32_t nesting_ = 0;
  SyntaxTree tree_;
  SyntaxWalk walk_;
  ZrLogWrapper* logger_;
  bool analyzeOnly_ = false;
  ValuePool pool_;
  std::u16string scratch_;
};

#endif  // FSCANNER_CRITERIA_SYNTAX_ANALYZER_H
