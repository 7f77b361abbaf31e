#include "criteria/criteria_evaluator.h"

#include <new>

#include "ZrLogWrapper.h"
#include "criteria/column_reads.h"
#include "criteria/syntax_analyzer.h"

namespace {

constexpr char kTraceSource[] = "fscanner/fscommon/syntaxanalyzer";

}  // namespace

CriteriaEvaluator::CriteriaEvaluator(const char16_t* text) {
  if (text == nullptr) return;
  try {
    analyzer_ = std::make_unique<SyntaxAnalyzer>();
    text_ = text;
  } catch (const std::bad_alloc&) {
    analyzer_.reset();
    getZrLogFs()->traceMAX(__LINE__, kTraceSource, "CriteriaEvaluator",
                           "CriteriaEvaluator::CriteriaEvaluator - out of memory!\n");
    return;
  }
  valid_ = true;
}

CriteriaEvaluator::~CriteriaEvaluator() = default;

bool CriteriaEvaluator::setColumns(FieldList* columns) {
  if (!valid_ || columns == nullptr) return false;
  columns_ = columns;
  analyzer_->forgetFields();
  return true;
}

bool CriteriaEvaluator::setVariables(FieldList* variables) {
  if (!valid_ || variables == nullptr) return false;
  variables_ = variables;
  analyzer_->forgetFields();
  return true;
}

bool CriteriaEvaluator::readsColumn(const char16_t* column) {
  return valid_ && ::readsColumn(text_.c_str(), column);
}

int CriteriaEvaluator::evaluate(bool caseSensitive) {
  return evaluate(nullptr, nullptr, caseSensitive);
}

int CriteriaEvaluator::evaluate(FieldList* columns, FieldList* variables, bool caseSensitive) {
  if (!valid_) return -1;
  FieldList* columnList = columns != nullptr ? columns : columns_;
  FieldList* variableList = variables != nullptr ? variables : variables_;
  if (pending_) {
    pending_ = false;
    lastError_ = analyzer_->parse(text_.c_str(), columnList, variableList, result_, caseSensitive);
  } else {
    lastError_ = analyzer_->reevaluate(columnList, variableList, result_, caseSensitive);
  }
  if (lastError_) return -1;
  if (result_.type() != CriteriaValue::NUMERIC) return 0;
  return static_cast<int>(static_cast<uint32_t>(result_.number()));
}

CriteriaValue* CriteriaEvaluator::indexKey() {
  if (!valid_) return nullptr;
  if (indexKey_ != nullptr) return indexKey_->hasName() ? indexKey_.get() : nullptr;
  if (columns_ == nullptr) return nullptr;
  indexKey_.reset(new (std::nothrow) CriteriaValue);
  if (indexKey_ == nullptr) {
    getZrLogFs()->traceMAX(__LINE__, kTraceSource, "indexKey",
                           "CriteriaEvaluator::indexKey - out of memory!\n");
    return nullptr;
  }
  if (pending_) {
    pending_ = false;
    CriteriaValue scratch;
    analyzer_->setAnalyzeOnly(true);
    lastError_ = analyzer_->parse(text_.c_str(), columns_, variables_, scratch, true);
    analyzer_->setAnalyzeOnly(false);
  }
  return analyzer_->getIndexKey(*indexKey_) ? indexKey_.get() : nullptr;
}

bool CriteriaEvaluator::setIndexKey(const CriteriaValue& key) {
  if (!valid_) return false;
  try {
    // A complete copy or none: a half-copied key would seek the wrong records.
    indexKey_ = std::make_unique<CriteriaValue>(key);
  } catch (const std::bad_alloc&) {
    getZrLogFs()->traceMAX(__LINE__, kTraceSource, "setIndexKey",
                           "CriteriaEvaluator::setIndexKey - out of memory!\n");
    return false;
  }
  return true;
}

bool CriteriaEvaluator::indexKey(RecordFilterKey* key) {
  const CriteriaValue* value = indexKey();
  if (value == nullptr) return false;
  key->column = value->name();
  key->numeric = value->type() == CriteriaValue::NUMERIC;
  key->number = value->number();
  key->string = value->string();
  key->stringLength = value->stringLength();
  return true;
}
