#include "criteria/criteria_value.h"

void CriteriaValue::setString(const char16_t* text) {
  if (text == nullptr) {
    string_.clear();
  } else {
    string_.assign(text);
  }
}

void CriteriaValue::setString(const char16_t* text, size_t length) {
  if (text == nullptr) {
    string_.clear();
  } else {
    string_.assign(text, length);
  }
}

void CriteriaValue::setName(const char16_t* text) {
  if (text == nullptr) {
    name_.clear();
  } else {
    name_.assign(text);
  }
}

bool CriteriaValue::resetToType(int type) {
  if (type == NUMERIC) {
    number_ = 0;
  } else if (type == STRING) {
    string_.clear();
  } else {
    return false;
  }
  type_ = static_cast<Type>(type);
  return true;
}
