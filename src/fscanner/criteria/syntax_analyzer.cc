#include "criteria/syntax_analyzer.h"

#include <cassert>
#include <new>

#include "ZrLogWrapper.h"
#include "base/wstring.h"
#include "criteria/criteria_commands.h"
#include "criteria/criteria_operators.h"
#include "tablestore/field.h"

namespace {

constexpr char kTraceSource[] = "fscanner/fscommon/syntaxanalyzer";

void addTerms(CriteriaValue& result, const CriteriaValue& right) {
  result.setTerms(result.constantTerms() + right.constantTerms(),
                  result.referenceTerms() + right.referenceTerms());
}

bool isExpressionOperator(const CriteriaToken& token) {
  return token.kind == TokArith &&
         (token.number == OpAdd || token.number == OpSub || token.number == OpBitOr);
}

bool isTermOperator(const CriteriaToken& token) {
  return token.kind == TokArith &&
         (token.number == OpMul || token.number == OpDiv || token.number == OpBitAnd);
}

// Counts one more open parenthesis, unary operator or command call while it lives.
class NestingScope {
 public:
  explicit NestingScope(uint32_t* depth) : depth_(depth) {
    ++*depth_;
    assert(*depth_ <= SyntaxAnalyzer::kMaxNesting);
  }
  ~NestingScope() {
    assert(*depth_ > 0);
    --*depth_;
  }
  NestingScope(const NestingScope&) = delete;
  NestingScope& operator=(const NestingScope&) = delete;

 private:
  uint32_t* depth_;
};

}  // namespace

// Traces the first error of a parse only; `stop` marks an error of the text itself.
#define ANALYZER_FAIL(stop, function, ...)                              \
  do {                                                                  \
    if (firstError(stop)) {                                             \
      logger_->traceMAX(__LINE__, kTraceSource, function, __VA_ARGS__); \
    }                                                                   \
  } while (0)

class SyntaxAnalyzer::PooledValue {
 public:
  explicit PooledValue(ValuePool& pool) : pool_(pool), value_(pool.acquire()) {}
  ~PooledValue() { pool_.release(); }
  PooledValue(const PooledValue&) = delete;
  PooledValue& operator=(const PooledValue&) = delete;
  CriteriaValue& value() { return value_; }

 private:
  ValuePool& pool_;
  CriteriaValue& value_;
};

CriteriaValue& SyntaxAnalyzer::ValuePool::acquire() {
  assert(used_ <= values_.size());
  if (used_ == values_.size()) values_.push_back(std::make_unique<CriteriaValue>());
  CriteriaValue& value = *values_[used_++];
  value.clear();
  return value;
}

SyntaxAnalyzer::SyntaxAnalyzer() : logger_(getZrLogFs()) { clearCriteriaCommands(); }

SyntaxAnalyzer::~SyntaxAnalyzer() = default;

bool SyntaxAnalyzer::firstError(bool stop) {
  error_ = true;
  if (stop) stopped_ = true;
  if (traced_) return false;
  traced_ = true;
  return true;
}

void SyntaxAnalyzer::clearIndexKey() { indexKey_.clear(); }

bool SyntaxAnalyzer::parse(const char16_t* text, FieldList* columns, FieldList* variables,
                           CriteriaValue& result, bool caseSensitive) {
  // The walk and the tree point into the pattern sets that the lexer releases with its text.
  walk_.reset();
  tree_.clear();
  columns_ = columns;
  variables_ = variables;
  caseSensitive_ = caseSensitive;
  error_ = false;
  stopped_ = false;
  traced_ = false;
  noTreeTraced_ = false;
  try {
    return parseText(text, result);
  } catch (const std::bad_alloc&) {
    return outOfMemory();
  }
}

bool SyntaxAnalyzer::outOfMemory() {
  walk_.reset();
  tree_.clear();
  lexer_.setText(nullptr);
  ANALYZER_FAIL(true, "parse", "SyntaxAnalyzer::parse - out of memory!\n");
  return true;
}

bool SyntaxAnalyzer::parseText(const char16_t* text, CriteriaValue& result) {
  clearIndexKey();
  orDepth_ = 0;
  keyUsable_ = true;
  nesting_ = 0;
  lexer_.setText(text);
  if (text == nullptr) {
    ANALYZER_FAIL(true, "parse", "SyntaxAnalyzer::parse - no text!\n");
    return true;
  }
  if (!startOperand(tree_)) return true;
  bExpression(result, true, tree_);
  if (!stopped_) {
    lexer_.next();
    if (lexer_.status() != CriteriaLexer::LEX_END) {
      ANALYZER_FAIL(true, "parse", "SyntaxAnalyzer::parse - expected operator.\n");
    }
  }
  if (!stopped_) walk_.prepare(tree_);
  return error_;
}

bool SyntaxAnalyzer::reevaluate(FieldList* columns, FieldList* variables, CriteriaValue& result,
                                bool caseSensitive) {
  columns_ = columns;
  variables_ = variables;
  caseSensitive_ = caseSensitive;
  if (!walk_.ready()) {
    // Once per parse: an evaluator that failed its parse is asked again for every record or file.
    if (!noTreeTraced_) {
      noTreeTraced_ = true;
      logger_->traceMAX(__LINE__, kTraceSource, "reevaluate",
                        "SyntaxAnalyzer::reevaluate - no tree to walk!\n");
    }
    return true;
  }
  try {
    return walk_.evaluate(columns, variables, caseSensitive, result);
  } catch (const std::bad_alloc&) {
    logger_->traceMAX(__LINE__, kTraceSource, "reevaluate",
                      "SyntaxAnalyzer::reevaluate - out of memory!\n");
    return true;
  }
}

bool SyntaxAnalyzer::getIndexKey(CriteriaValue& key) const {
  if (stopped_ || !keyUsable_ || !indexKey_.hasName()) return false;
  try {
    key = indexKey_;
  } catch (const std::bad_alloc&) {
    logger_->traceMAX(__LINE__, kTraceSource, "getIndexKey",
                      "SyntaxAnalyzer::getIndexKey - out of memory!\n");
    return false;
  }
  return true;
}

bool SyntaxAnalyzer::startOperand(SyntaxTree& tree) {
  if (tree.ensureRoot() != nullptr) return true;
  ANALYZER_FAIL(true, "parse", "SyntaxAnalyzer::parse - out of memory!\n");
  return false;
}

bool SyntaxAnalyzer::join(SyntaxTree& tree, SyntaxTree& right, TokenKind kind, int64_t code) {
  if (!tree.combine(right)) {
    ANALYZER_FAIL(true, "parse", "SyntaxAnalyzer::parse - out of memory!\n");
    return false;
  }
  tree.root()->setToken(kind, code);
  return true;
}

bool SyntaxAnalyzer::enterNesting() {
  if (nesting_ < kMaxNesting) return true;
  ANALYZER_FAIL(true, "factor", "SyntaxAnalyzer::factor - nesting deeper than %u levels!\n",
                kMaxNesting);
  return false;
}

void SyntaxAnalyzer::bExpression(CriteriaValue& result, bool needed, SyntaxTree& tree) {
  bool keyWasEmpty = !indexKey_.hasName();
  bTerm(result, needed, tree);
  while (!stopped_) {
    if (!lexer_.next().is(TokBool, OpOr)) {
      lexer_.unget();
      return;
    }
    PooledValue right(pool_);
    SyntaxTree rightTree;
    if (!startOperand(rightTree)) return;
    bool rightNeeded = needed && result.number() == 0;
    ++orDepth_;
    keyUsable_ = false;
    bTerm(right.value(), rightNeeded, rightTree);
    --orDepth_;
    // A key found in an alternative cannot narrow the whole text.
    if (keyWasEmpty) clearIndexKey();
    if (stopped_ || !join(tree, rightTree, TokBool, OpOr)) return;
    if (result.type() != CriteriaValue::NUMERIC || right.value().type() != CriteriaValue::NUMERIC) {
      ANALYZER_FAIL(true, "bExpression",
                    "SyntaxAnalyzer::bExpression - bExpression operands of different types or "
                    "not NUMERIC\n");
      return;
    }
    addTerms(result, right.value());
    setNumericResult(&result, result.number() != 0 || right.value().number() != 0);
    result.setName(nullptr);
  }
}

void SyntaxAnalyzer::bTerm(CriteriaValue& result, bool needed, SyntaxTree& tree) {
  relation(result, needed, tree);
  if (stopped_) return;
  keyUsable_ = orDepth_ == 0;
  while (true) {
    if (!lexer_.next().is(TokBool, OpAnd)) {
      lexer_.unget();
      return;
    }
    PooledValue right(pool_);
    SyntaxTree rightTree;
    if (!startOperand(rightTree)) return;
    relation(right.value(), needed && result.number() != 0, rightTree);
    if (stopped_) return;
    keyUsable_ = orDepth_ == 0;
    if (!join(tree, rightTree, TokBool, OpAnd)) return;
    if (result.type() != CriteriaValue::NUMERIC || right.value().type() != CriteriaValue::NUMERIC) {
      ANALYZER_FAIL(true, "bTerm",
                    "SyntaxAnalyzer::bTerm - bTerm operands of different types or not NUMERIC\n");
      return;
    }
    addTerms(result, right.value());
    setNumericResult(&result, result.number() != 0 && right.value().number() != 0);
    result.setName(nullptr);
  }
}

void SyntaxAnalyzer::relation(CriteriaValue& result, bool needed, SyntaxTree& tree) {
  bool keyWasEmpty = !indexKey_.hasName();
  expression(result, needed, tree);
  uint32_t relations = 0;
  bool keyFromFirst = false;
  while (!stopped_) {
    const CriteriaToken& op = lexer_.next();
    if (op.kind != TokRel) {
      lexer_.unget();
      break;
    }
    int64_t code = op.number;
    PooledValue right(pool_);
    SyntaxTree rightTree;
    if (!startOperand(rightTree)) return;
    expression(right.value(), needed, rightTree);
    if (stopped_ || !join(tree, rightTree, TokRel, code)) return;
    ++relations;
    if (result.type() != right.value().type()) {
      ANALYZER_FAIL(true, "relation",
                    "SyntaxAnalyzer::relation - relation operands of different types!\n");
      return;
    }
    if (code == OpRelEQ && !indexKey_.hasName()) {
      deriveIndexKey(result, right.value());
      keyFromFirst = relations == 1 && indexKey_.hasName();
    }
    bool holds = false;
    if (compareValues(code, result, right.value(), caseSensitive_, &scratch_, &holds) !=
        OperatorStatus::kOk) {
      ANALYZER_FAIL(true, "relation", "SyntaxAnalyzer::relation - OpRelXXX unknown!\n");
      return;
    }
    setNumericResult(&result, holds ? 1 : 0);
    result.setString(nullptr);
    result.setName(nullptr);
  }
  // Only a single comparison can stand for the key: one whose 0 or 1 is compared again, or that
  // is an operand of this comparison, would seek the wrong records.
  if (!stopped_ && keyWasEmpty && relations > 0 && !(relations == 1 && keyFromFirst)) {
    clearIndexKey();
  }
}

void SyntaxAnalyzer::deriveIndexKey(CriteriaValue& left, const CriteriaValue& right) {
  bool numeric = left.type() == CriteriaValue::NUMERIC;
  const CriteriaValue* column = nullptr;
  const CriteriaValue* constant = nullptr;
  if (left.isSingleReference() && left.hasName() && right.isPureConstant() &&
      (numeric || (right.patternSet() == nullptr && !hasWildcards(right.string())))) {
    column = &left;
    constant = &right;
  } else if (left.isPureConstant() && right.isSingleReference() && right.hasName() &&
             (numeric || right.patternSet() == nullptr)) {
    column = &right;
    constant = &left;
  } else {
    return;
  }
  indexKey_.clear();
  indexKey_.setName(column->name());
  indexKey_.setType(constant->type());
  indexKey_.setNumber(constant->number());
  indexKey_.setString(constant->string(), constant->stringLength());
  uint32_t references = (left.referenceTerms() != 0 || right.referenceTerms() != 0) ? 1 : 0;
  left.setTerms(1 - references, references);
}

void SyntaxAnalyzer::expression(CriteriaValue& result, bool needed, SyntaxTree& tree) {
  arithmeticChain(result, needed, tree, &SyntaxAnalyzer::term, isExpressionOperator,
                  &SyntaxAnalyzer::combineSum);
}

void SyntaxAnalyzer::term(CriteriaValue& result, bool needed, SyntaxTree& tree) {
  arithmeticChain(result, needed, tree, &SyntaxAnalyzer::factor, isTermOperator,
                  &SyntaxAnalyzer::combineProduct);
}

void SyntaxAnalyzer::arithmeticChain(CriteriaValue& result, bool needed, SyntaxTree& tree,
                                     Level operand, bool (*isOperator)(const CriteriaToken&),
                                     Combine combine) {
  bool keyWasEmpty = !indexKey_.hasName();
  (this->*operand)(result, needed, tree);
  bool applied = false;
  while (!stopped_) {
    const CriteriaToken& op = lexer_.next();
    if (!isOperator(op)) {
      lexer_.unget();
      break;
    }
    int64_t code = op.number;
    PooledValue right(pool_);
    SyntaxTree rightTree;
    if (!startOperand(rightTree)) return;
    (this->*operand)(right.value(), needed, rightTree);
    if (stopped_ || !join(tree, rightTree, TokArith, code)) return;
    applied = true;
    if (!(this->*combine)(code, result, right.value(), needed)) return;
    addTerms(result, right.value());
    result.setName(nullptr);
  }
  if (!stopped_ && keyWasEmpty && applied) clearIndexKey();
}

bool SyntaxAnalyzer::combineSum(int64_t code, CriteriaValue& result, const CriteriaValue& right,
                                bool needed) {
  if (result.type() != right.type()) {
    ANALYZER_FAIL(true, "expression",
                  "SyntaxAnalyzer::expression - expression operands of different types or not "
                  "NUMERIC\n");
    return false;
  }
  if (result.type() == CriteriaValue::STRING) {
    if (code != OpAdd) {
      // Operator tokens carry no text of their own.
      ANALYZER_FAIL(true, "expression",
                    "SyntaxAnalyzer::expression - operator '%s' not permitted on string type\n",
                    "");
      return false;
    }
    if (concatenate(result, right, &result) != OperatorStatus::kOk) {
      // Literals alone exceed the space whatever the fields hold: an error of the text.
      bool literalsOnly = result.referenceTerms() == 0 && right.referenceTerms() == 0;
      ANALYZER_FAIL(literalsOnly, "expression",
                    "SyntaxAnalyzer::expression - string space not available for "
                    "concatenation\n");
      result.setString(nullptr);
      result.setPatternSet(nullptr);
    }
    return true;
  }
  int64_t value = 0;
  if (applyArithmetic(code, result.number(), right.number(), needed, &value) !=
      OperatorStatus::kOk) {
    ANALYZER_FAIL(true, "expression", "SyntaxAnalyzer::expression - OpXXX unknown!\n");
    return false;
  }
  setNumericResult(&result, value);
  return true;
}

bool SyntaxAnalyzer::combineProduct(int64_t code, CriteriaValue& result, const CriteriaValue& right,
                                    bool needed) {
  if (result.type() != CriteriaValue::NUMERIC || right.type() != CriteriaValue::NUMERIC) {
    ANALYZER_FAIL(true, "term",
                  "SyntaxAnalyzer::term - term operands of different types or not NUMERIC\n");
    return false;
  }
  int64_t value = 0;
  OperatorStatus status = applyArithmetic(code, result.number(), right.number(), needed, &value);
  if (status == OperatorStatus::kDivision) {
    ANALYZER_FAIL(false, "term", "SyntaxAnalyzer::term - division by zero or overflow\n");
  } else if (status != OperatorStatus::kOk) {
    ANALYZER_FAIL(true, "term", "SyntaxAnalyzer::term - OpXXX unknown!\n");
    return false;
  }
  setNumericResult(&result, value);
  return true;
}

void SyntaxAnalyzer::factor(CriteriaValue& result, bool needed, SyntaxTree& tree) {
  const CriteriaToken& token = lexer_.next();
  switch (token.kind) {
    case TokNumeric:
    case TokString:
    case TokColumn:
    case TokVariable:
      operand(token, result, tree);
      return;
    case TokParen:
      if (token.number == ParenOpen) {
        nested(result, needed, tree);
        return;
      }
      break;
    case TokArith:
      if (token.number != OpAdd && token.number != OpSub) {
        ANALYZER_FAIL(true, "factor", "SyntaxAnalyzer::factor - expected '+' or '-'!\n");
        return;
      }
      unary(TokArith, token.number == OpAdd ? OpUnaryPlus : OpUnaryMinus, result, needed, tree);
      return;
    case TokBool:
      if (token.number != OpNot) {
        ANALYZER_FAIL(true, "factor", "SyntaxAnalyzer::factor - expected '!'\n");
        return;
      }
      unary(TokBool, OpNot, result, needed, tree);
      return;
    case TokCommand:
      commandCall(token.number, result, needed, tree);
      return;
    default:
      break;
  }
  if (lexer_.patternSpaceExhausted()) {
    ANALYZER_FAIL(true, "factor",
                  "SyntaxAnalyzer::factor - set literals need more than %u bytes!\n",
                  static_cast<unsigned>(CriteriaLexer::kMaxPatternSetBytes));
    return;
  }
  ANALYZER_FAIL(true, "factor", "SyntaxAnalyzer::factor - unexpected sequence!\n");
}

void SyntaxAnalyzer::operand(const CriteriaToken& token, CriteriaValue& result, SyntaxTree& tree) {
  if (!startOperand(tree)) return;
  tree.root()->setToken(token);
  result.clear();
  if (token.kind == TokNumeric) {
    result.setNumeric(token.number);
    return;
  }
  if (token.kind == TokString) {
    result.setType(CriteriaValue::STRING);
    result.setString(token.text.c_str(), token.text.size());
    result.setPatternSet(token.patterns);
    return;
  }
  FieldList* list = token.kind == TokColumn ? columns_ : variables_;
  const Field* field = list != nullptr ? list->findField(token.text.c_str()) : nullptr;
  if (field == nullptr) {
    ANALYZER_FAIL(true, "factor", "SyntaxAnalyzer::factor - variable specified not found!\n");
    return;
  }
  result.setName(token.text.c_str());
  result.setTerms(0, 1);
  OperatorStatus status = loadField(*field, &result);
  if (status == OperatorStatus::kStringSpace) {
    ANALYZER_FAIL(false, "factor", "SyntaxAnalyzer::factor - string space not available\n");
  } else if (status == OperatorStatus::kUnknown) {
    ANALYZER_FAIL(true, "factor", "SyntaxAnalyzer::factor - typeXXX unknown!\n");
  }
}

void SyntaxAnalyzer::nested(CriteriaValue& result, bool needed, SyntaxTree& tree) {
  if (!enterNesting()) return;
  NestingScope scope(&nesting_);
  bExpression(result, needed, tree);
  if (stopped_) return;
  if (!lexer_.next().is(TokParen, ParenClose)) {
    ANALYZER_FAIL(true, "factor", "SyntaxAnalyzer::factor - expected ')'\n");
  }
}

void SyntaxAnalyzer::unary(TokenKind kind, int64_t code, CriteriaValue& result, bool needed,
                           SyntaxTree& tree) {
  if (!enterNesting()) return;
  NestingScope scope(&nesting_);
  bool keyWasEmpty = !indexKey_.hasName();
  factor(result, needed, tree);
  // A key found under a unary operator would seek by the operand, not by its image.
  if (keyWasEmpty) clearIndexKey();
  if (stopped_) return;
  SyntaxTree emptyLeaf;
  if (!startOperand(emptyLeaf) || !join(tree, emptyLeaf, kind, code)) return;
  if (result.type() != CriteriaValue::NUMERIC) {
    ANALYZER_FAIL(true, "factor", "SyntaxAnalyzer::factor - factor operand is not NUMERIC\n");
    return;
  }
  int64_t value = result.number() == 0 ? 1 : 0;
  if (kind == TokArith && applyUnary(code, result.number(), &value) != OperatorStatus::kOk) {
    ANALYZER_FAIL(true, "factor", "SyntaxAnalyzer::factor - OpXXX unknown!\n");
    return;
  }
  setNumericResult(&result, value);
  result.setName(nullptr);
}

void SyntaxAnalyzer::commandCall(int64_t index, CriteriaValue& result, bool needed,
                                 SyntaxTree& tree) {
  const CriteriaCommand* command = criteriaCommandAt(static_cast<size_t>(index));
  const char16_t* name = command->name;
  if (command->argumentCount != 1 && command->argumentCount != 2) {
    ANALYZER_FAIL(true, "factor",
                  "SyntaxAnalyzer::factor - command specified (%S) n_args not supported!\n", name);
    return;
  }
  bool twoArguments = command->argumentCount == 2;
  if (!lexer_.next().is(TokParen, ParenOpen)) {
    ANALYZER_FAIL(true, "factor", "SyntaxAnalyzer::factor - command[%S]: '(' expected!\n", name);
    return;
  }
  if (!enterNesting()) return;
  NestingScope scope(&nesting_);
  bool keyWasEmpty = !indexKey_.hasName();
  PooledValue first(pool_);
  PooledValue second(pool_);
  SyntaxTree secondTree;
  bExpression(first.value(), needed, tree);
  if (stopped_) return;
  if (first.value().type() != command->argumentTypes[0]) {
    if (twoArguments) {
      ANALYZER_FAIL(true, "factor",
                    "SyntaxAnalyzer::factor - command[%S]: first parameter type mismatch!\n", name);
    } else {
      ANALYZER_FAIL(true, "factor",
                    "SyntaxAnalyzer::factor - command[%S]: parameter type mismatch!\n", name);
    }
    return;
  }
  if (!startOperand(secondTree)) return;
  if (twoArguments) {
    if (!lexer_.next().is(TokPunct, PunctComma)) {
      ANALYZER_FAIL(true, "factor", "SyntaxAnalyzer::factor - command[%S]: ',' expected!\n", name);
      return;
    }
    bExpression(second.value(), needed, secondTree);
    if (stopped_) return;
    if (second.value().type() != command->argumentTypes[1]) {
      ANALYZER_FAIL(true, "factor",
                    "SyntaxAnalyzer::factor - command[%S]: second parameter type mismatch!\n",
                    name);
      return;
    }
  }
  if (!lexer_.next().is(TokParen, ParenClose)) {
    ANALYZER_FAIL(true, "factor", "SyntaxAnalyzer::factor - command[%S]: ')' expected!\n", name);
    return;
  }
  if (!join(tree, secondTree, TokCommand, index)) return;
  if (keyWasEmpty) clearIndexKey();
  logger_->traceMAX(__LINE__, kTraceSource, "factor",
                    "SyntaxAnalyzer::factor - executing command[%S]...\n", name);
  result.clear();
  if (analyzeOnly_) {
    logger_->traceMAX(__LINE__, kTraceSource, "factor",
                      "SyntaxAnalyzer::factor - command[%S]: resetting factorValue [%d]!\n", name,
                      static_cast<int>(command->resultType));
    result.resetToType(command->resultType);
    result.setTerms(0, 1);
    return;
  }
  if (command->executor->execute(&first.value(), twoArguments ? &second.value() : nullptr,
                                 &result) != 0) {
    if (needed) {
      ANALYZER_FAIL(false, "factor", "SyntaxAnalyzer::factor - command[%S]: execute failed!\n",
                    name);
    }
    result.clear();
    result.resetToType(command->resultType);
  }
  // A command's value is never a constant to seek by: it may change from call to call, and an
  // analysis parse does not compute it at all.
  result.setName(nullptr);
  result.setTerms(0, 1);
  result.setPatternSet(nullptr);
}
