// Evaluates a stored syntax tree again, for new field values, without parsing. The tree is
// flattened once into steps in evaluation order (operands before their operator), and each
// evaluation runs the steps over a small value stack: no recursion however deep the tree, and no
// allocation once the values' buffers have grown.
//
// Short-circuits as the parse's tree would: the right operand of && is skipped when the left is
// 0, that of || when the left is exactly 1. Literal operands are converted once, at prepare(), and
// a field compared with a literal is prepared as a FieldRelation. A column or variable operand
// looks its field up by name once per list it is given, and afterwards only checks that the list
// still holds that field at that position; forgetFields() makes it look up again (a list whose
// fields were replaced).
#ifndef FSCANNER_CRITERIA_SYNTAX_WALK_H
#define FSCANNER_CRITERIA_SYNTAX_WALK_H

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "criteria/criteria_value.h"
#include "criteria/field_relation.h"
#include "criteria/syntax_tree.h"
#include "tablestore/field.h"

class ZrLogWrapper;

class SyntaxWalk {
 public:
  SyntaxWalk();
  SyntaxWalk(const SyntaxWalk&) = delete;
  SyntaxWalk& operator=(const SyntaxWalk&) = delete;

  // Flattens tree, which must outlive the walk or the next reset() and not change meanwhile;
  // literal values are stored in the tree's leaves.
  void prepare(SyntaxTree& tree);
  void reset();
  bool ready() const { return ready_; }
  void forgetFields();

  // Returns true on error (traced where the language defines a message); result is then not to
  // be used.
  bool evaluate(FieldList* columns, FieldList* variables, bool caseSensitive,
                CriteriaValue& result);

 private:
  // kFieldRelation is a column or variable compared with a literal, the commonest criterion,
  // taken as one step.
  enum class StepKind : uint8_t {
    kConstant,
    kField,
    kFieldRelation,
    kOperator,
    kUnary,
    kAndTest,
    kOrTest
  };
  struct Step {
    StepKind kind;
    // The operand of kConstant and kField, the operator of the others.
    const CriteriaToken* token;
    // kField and kFieldRelation: the column or variable.
    const CriteriaToken* fieldToken = nullptr;
    // kConstant: the value; kAndTest / kOrTest: index of the step after the operator.
    const CriteriaValue* constant = nullptr;
    uint32_t jump = 0;
    // kFieldRelation: the prepared comparison (owned by relations_).
    const FieldRelation* relation = nullptr;
    // kField and kFieldRelation: a column (else a variable), the list the field was found in,
    // and where.
    bool column = false;
    const FieldList* list = nullptr;
    const Field* field = nullptr;
    uint32_t index = 0;
  };

  // The field a kField or kFieldRelation step reads; null (traced) when it is missing.
  const Field* boundField(Step& step) {
    const FieldList* list = step.column ? columns_ : variables_;
    if (list != nullptr && step.list == list && step.index < list->count() &&
        list->at(step.index) == step.field) {
      return step.field;
    }
    return findField(step, list);
  }
  const Field* findField(Step& step, const FieldList* list);
  // The walk of a conjunction_ without the value stack; kUndecided when some field is not one a
  // FieldRelation reads in place, and the general walk must run. Reads fields in the same order
  // and stops at the same relation as that walk.
  enum class Conjunction { kFalse, kTrue, kError, kUndecided };
  Conjunction decideConjunction();
  bool l_value(Step& step, CriteriaValue& out);
  bool compareField(Step& step, CriteriaValue& out);
  bool resolve(const CriteriaToken& token, const CriteriaValue& left, const CriteriaValue& right,
               CriteriaValue& out);
  bool resolveCommand(const CriteriaToken& token, const CriteriaValue& left,
                      const CriteriaValue& right, CriteriaValue& out);
  void emitLeaf(SyntaxNode* node);
  void emitOperator(const CriteriaToken& token);

  std::vector<Step> steps_;
  std::vector<std::unique_ptr<FieldRelation>> relations_;
  std::vector<CriteriaValue> slots_;
  std::vector<const CriteriaValue*> stack_;
  std::u16string scratch_;
  FieldList* columns_ = nullptr;
  FieldList* variables_ = nullptr;
  bool caseSensitive_ = false;
  // Open || operands whose value cannot matter: a division or command that fails inside them is
  // no error (the string space and field reads are checked everywhere, as the parse does).
  uint32_t unneeded_ = 0;
  bool ready_ = false;
  // The steps are field relations joined by && (or a single one), the usual file criterion.
  bool conjunction_ = false;
  ZrLogWrapper* logger_;
};

#endif  // FSCANNER_CRITERIA_SYNTAX_WALK_H
