#include "criteria/syntax_walk.h"

#include <algorithm>
#include <cassert>
#include <memory>

#include "ZrLogWrapper.h"
#include "base/wstring.h"
#include "criteria/criteria_commands.h"
#include "criteria/criteria_operators.h"
#include "tablestore/field.h"

namespace {

constexpr char kTraceSource[] = "fscanner/fscommon/syntaxanalyzer";

// The value of an empty leaf, and of a leaf whose token is no operand.
const CriteriaValue kDefaultValue;

bool isUnary(const CriteriaToken& token) {
  return (token.kind == TokArith &&
          (token.number == OpUnaryPlus || token.number == OpUnaryMinus)) ||
         token.is(TokBool, OpNot);
}

bool bothNumeric(const CriteriaValue& left, const CriteriaValue& right) {
  return left.type() == CriteriaValue::NUMERIC && right.type() == CriteriaValue::NUMERIC;
}

}  // namespace

SyntaxWalk::SyntaxWalk() : logger_(getZrLogFs()) {}

void SyntaxWalk::reset() {
  ready_ = false;
  conjunction_ = false;
  steps_.clear();
  relations_.clear();
}

void SyntaxWalk::forgetFields() {
  for (Step& step : steps_) step.list = nullptr;
}

void SyntaxWalk::emitLeaf(SyntaxNode* node) {
  Step step{};
  step.kind = StepKind::kConstant;
  step.constant = &kDefaultValue;
  if (node == nullptr) {
    steps_.push_back(step);
    return;
  }
  CriteriaToken& token = node->token();
  step.token = &token;
  if (token.kind == TokNumeric || token.kind == TokString) {
    // Literals are converted once; a set literal keeps its pattern set.
    if (token.operandCache == nullptr) {
      auto value = std::make_unique<CriteriaValue>();
      if (token.kind == TokNumeric) {
        value->setNumeric(token.number);
      } else {
        value->setType(CriteriaValue::STRING);
        value->setString(token.text.c_str(), token.text.size());
        value->setPatternSet(token.patterns);
      }
      token.operandCache = std::move(value);
    }
    step.constant = token.operandCache.get();
  } else if (token.kind == TokColumn || token.kind == TokVariable) {
    step.kind = StepKind::kField;
    step.fieldToken = &token;
    step.column = token.kind == TokColumn;
  }
  steps_.push_back(step);
}

void SyntaxWalk::emitOperator(const CriteriaToken& token) {
  size_t count = steps_.size();
  // Jumps only ever land after an operator, never between an operator's own operands, so the
  // last two steps can merge with it.
  if (token.kind == TokRel && count >= 2 && steps_[count - 2].kind == StepKind::kField &&
      steps_[count - 1].kind == StepKind::kConstant) {
    Step& merged = steps_[count - 2];
    merged.kind = StepKind::kFieldRelation;
    merged.constant = steps_[count - 1].constant;
    merged.token = &token;
    relations_.push_back(std::make_unique<FieldRelation>(token.number, *merged.constant));
    merged.relation = relations_.back().get();
    steps_.pop_back();
    return;
  }
  Step step{};
  step.token = &token;
  step.kind = isUnary(token) ? StepKind::kUnary : StepKind::kOperator;
  steps_.push_back(step);
}

void SyntaxWalk::prepare(SyntaxTree& tree) {
  reset();
  // Post-order without recursion: each pending node remembers how far it got.
  struct Pending {
    SyntaxNode* node;
    int stage;
    size_t test;
  };
  std::vector<Pending> pending{{tree.root(), 0, 0}};
  size_t depth = 0;
  size_t maxDepth = 1;
  while (!pending.empty()) {
    Pending& top = pending.back();
    SyntaxNode* node = top.node;
    if (node == nullptr || node->isLeaf()) {
      emitLeaf(node);
      maxDepth = std::max(maxDepth, ++depth);
      pending.pop_back();
      continue;
    }
    const CriteriaToken& token = node->token();
    if (top.stage == 0) {
      top.stage = 1;
      pending.push_back({node->left(), 0, 0});
    } else if (top.stage == 1) {
      top.stage = 2;
      if (isUnary(token)) continue;
      if (token.is(TokBool, OpAnd) || token.is(TokBool, OpOr)) {
        Step test{};
        test.kind = token.number == OpAnd ? StepKind::kAndTest : StepKind::kOrTest;
        test.token = &token;
        top.test = steps_.size();
        steps_.push_back(test);
      }
      pending.push_back({node->right(), 0, 0});
    } else {
      if (!isUnary(token)) --depth;
      emitOperator(token);
      if (token.is(TokBool, OpAnd) || token.is(TokBool, OpOr)) {
        steps_[top.test].jump = static_cast<uint32_t>(steps_.size());
      }
      pending.pop_back();
    }
  }
  assert(depth == 1);
  slots_.resize(maxDepth);
  stack_.assign(maxDepth, nullptr);
  // Relations joined by &&: a relation, then (test, relation, operator) for each further one.
  conjunction_ = steps_.size() % 3 == 1 && steps_[0].kind == StepKind::kFieldRelation;
  for (size_t i = 1; conjunction_ && i < steps_.size(); i += 3) {
    conjunction_ =
        steps_[i].kind == StepKind::kAndTest && steps_[i + 1].kind == StepKind::kFieldRelation &&
        steps_[i + 2].kind == StepKind::kOperator && steps_[i + 2].token->is(TokBool, OpAnd);
  }
  ready_ = true;
}

SyntaxWalk::Conjunction SyntaxWalk::decideConjunction() {
  for (size_t pc = 0; pc < steps_.size(); pc += pc == 0 ? 2 : 3) {
    Step& step = steps_[pc];
    const Field* field = boundField(step);
    if (field == nullptr) return Conjunction::kError;
    switch (step.relation->decide(*field, caseSensitive_, &scratch_)) {
      case FieldRelation::kFalse:
        return Conjunction::kFalse;
      case FieldRelation::kTrue:
        break;
      default:
        return Conjunction::kUndecided;
    }
  }
  return Conjunction::kTrue;
}

const Field* SyntaxWalk::findField(Step& step, const FieldList* list) {
  const Field* field = list != nullptr ? list->findField(step.fieldToken->text.c_str()) : nullptr;
  if (field == nullptr) {
    logger_->traceMAX(__LINE__, kTraceSource, "l_value",
                      "SyntaxTree::l_value - variable specified not found!\n");
    return nullptr;
  }
  for (uint32_t i = 0; i < list->count(); ++i) {
    if (list->at(i) == field) {
      step.list = list;
      step.field = field;
      step.index = i;
      break;
    }
  }
  return field;
}

bool SyntaxWalk::l_value(Step& step, CriteriaValue& out) {
  const Field* field = boundField(step);
  if (field == nullptr) return false;
  switch (loadField(*field, &out)) {
    case OperatorStatus::kOk:
      return true;
    case OperatorStatus::kStringSpace:
      logger_->traceMAX(__LINE__, kTraceSource, "l_value",
                        "SyntaxTree::l_value - string space not available\n");
      return false;
    default:
      return false;
  }
}

bool SyntaxWalk::compareField(Step& step, CriteriaValue& out) {
  const Field* field = boundField(step);
  if (field == nullptr) return false;
  const FieldRelation::Outcome outcome = step.relation->decide(*field, caseSensitive_, &scratch_);
  if (outcome == FieldRelation::kUndecided) {
    return l_value(step, out) && resolve(*step.token, out, *step.constant, out);
  }
  setNumericResult(&out, outcome);
  return true;
}

bool SyntaxWalk::resolve(const CriteriaToken& token, const CriteriaValue& left,
                         const CriteriaValue& right, CriteriaValue& out) {
  int64_t value = 0;
  switch (token.kind) {
    case TokArith:
      if (token.number == OpUnaryPlus || token.number == OpUnaryMinus) {
        if (left.type() != CriteriaValue::NUMERIC) return false;
        applyUnary(token.number, left.number(), &value);
        break;
      }
      if (token.number == OpAdd && left.type() == CriteriaValue::STRING &&
          right.type() == CriteriaValue::STRING) {
        if (concatenate(left, right, &out) == OperatorStatus::kOk) return true;
        logger_->traceMAX(__LINE__, kTraceSource, "resolve",
                          "SyntaxTree::resolve - string space not available for concatenation\n");
        return false;
      }
      if (!bothNumeric(left, right)) return false;
      switch (
          applyArithmetic(token.number, left.number(), right.number(), unneeded_ == 0, &value)) {
        case OperatorStatus::kOk:
          break;
        case OperatorStatus::kDivision:
          logger_->traceMAX(__LINE__, kTraceSource, "resolve",
                            "SyntaxTree::resolve - division by zero or overflow\n");
          return false;
        default:
          return false;
      }
      break;
    case TokBool:
      if (token.number == OpNot) {
        if (left.type() != CriteriaValue::NUMERIC) return false;
        value = left.number() == 0 ? 1 : 0;
      } else if (!bothNumeric(left, right)) {
        return false;
      } else if (token.number == OpAnd) {
        value = left.number() != 0 && right.number() != 0;
      } else if (token.number == OpOr) {
        value = left.number() != 0 || right.number() != 0;
      } else {
        return false;
      }
      break;
    case TokRel: {
      if (left.type() != right.type()) return false;
      bool holds = false;
      if (compareValues(token.number, left, right, caseSensitive_, &scratch_, &holds) !=
          OperatorStatus::kOk) {
        return false;
      }
      value = holds ? 1 : 0;
      break;
    }
    case TokCommand:
      return resolveCommand(token, left, right, out);
    default:
      return false;
  }
  setNumericResult(&out, value);
  return true;
}

bool SyntaxWalk::resolveCommand(const CriteriaToken& token, const CriteriaValue& left,
                                const CriteriaValue& right, CriteriaValue& out) {
  const CriteriaCommand* command = criteriaCommandAt(static_cast<size_t>(token.number));
  const char16_t* name = command != nullptr ? command->name : u"";
  if (command == nullptr || (command->argumentCount != 1 && command->argumentCount != 2)) {
    logger_->traceMAX(__LINE__, kTraceSource, "resolve",
                      "SyntaxTree::resolve - command[%S] not supported\n", name);
    return false;
  }
  bool twoArguments = command->argumentCount == 2;
  if (left.type() != command->argumentTypes[0] ||
      (twoArguments && right.type() != command->argumentTypes[1])) {
    logger_->traceMAX(__LINE__, kTraceSource, "resolve",
                      "SyntaxTree::resolve - command[%S], arguments type mismatch\n", name);
    return false;
  }
  // The arguments may live in out's slot: hand the executor copies.
  CriteriaValue first = left;
  CriteriaValue result;
  if (command->executor->execute(&first, twoArguments ? &right : nullptr, &result) != 0) {
    if (unneeded_ == 0) {
      logger_->traceMAX(__LINE__, kTraceSource, "resolve",
                        "SyntaxAnalyzer::resolve - command[%S]: execute failed!\n", name);
      return false;
    }
    result.clear();
    result.resetToType(command->resultType);
  }
  out = result;
  return true;
}

bool SyntaxWalk::evaluate(FieldList* columns, FieldList* variables, bool caseSensitive,
                          CriteriaValue& result) {
  if (!ready_) return true;
  columns_ = columns;
  variables_ = variables;
  caseSensitive_ = caseSensitive;
  if (conjunction_) {
    const Conjunction outcome = decideConjunction();
    if (outcome == Conjunction::kError) return true;
    if (outcome != Conjunction::kUndecided) {
      result.clear();
      result.setNumber(outcome == Conjunction::kTrue ? 1 : 0);
      return false;
    }
  }
  unneeded_ = 0;
  size_t top = 0;
  const size_t count = steps_.size();
  for (size_t pc = 0; pc < count; ++pc) {
    Step& step = steps_[pc];
    // prepare() sized the stack for the deepest point of the steps: operands push one value,
    // binary operators pop two and push one, tests and unary operators work on the top.
    assert(step.kind == StepKind::kConstant || step.kind == StepKind::kField ||
                   step.kind == StepKind::kFieldRelation
               ? top < stack_.size()
               : top >= 1);
    assert(step.kind != StepKind::kOperator || top >= 2);
    switch (step.kind) {
      case StepKind::kConstant:
        stack_[top++] = step.constant;
        break;
      case StepKind::kField:
        if (!l_value(step, slots_[top])) return true;
        stack_[top] = &slots_[top];
        ++top;
        break;
      case StepKind::kFieldRelation:
        if (!compareField(step, slots_[top])) return true;
        stack_[top] = &slots_[top];
        ++top;
        break;
      case StepKind::kAndTest:
      case StepKind::kOrTest: {
        const CriteriaValue& left = *stack_[top - 1];
        if (left.type() != CriteriaValue::NUMERIC) return true;
        int64_t decided = step.kind == StepKind::kAndTest ? 0 : 1;
        if (left.number() == decided) {
          // The jump lands after the operator that closes this test, never before it.
          assert(step.jump > pc && step.jump <= count);
          setNumericResult(&slots_[top - 1], decided);
          stack_[top - 1] = &slots_[top - 1];
          pc = step.jump - 1;
        } else if (step.kind == StepKind::kOrTest && left.number() != 0) {
          ++unneeded_;
        }
        break;
      }
      case StepKind::kUnary:
        if (!resolve(*step.token, *stack_[top - 1], kDefaultValue, slots_[top - 1])) return true;
        stack_[top - 1] = &slots_[top - 1];
        break;
      case StepKind::kOperator: {
        const CriteriaValue& left = *stack_[top - 2];
        if (step.token->is(TokBool, OpOr) && left.number() != 0) --unneeded_;
        if (!resolve(*step.token, left, *stack_[top - 1], slots_[top - 2])) return true;
        --top;
        stack_[top - 1] = &slots_[top - 1];
        break;
      }
    }
  }
  assert(top == 1);
  const CriteriaValue& value = *stack_[0];
  result.clear();
  result.setType(value.type());
  result.setNumber(value.number());
  result.setPatternSet(value.patternSet());
  if (value.type() == CriteriaValue::STRING) result.setString(value.string(), value.stringLength());
  return false;
}
