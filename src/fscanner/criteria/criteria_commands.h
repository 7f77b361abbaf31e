// The registry of criteria commands: named functions of one or two arguments, called as
// name(argument) or name(first, second). The system registers none, so the registry is empty and
// every analyzer construction empties it again; the lexer and the analyzer still follow the
// command protocol for whatever entries a process adds.
//
// The registry is process-wide and unsynchronised: add entries before any thread parses.
#ifndef FSCANNER_CRITERIA_CRITERIA_COMMANDS_H
#define FSCANNER_CRITERIA_CRITERIA_COMMANDS_H

#include <cstddef>
#include <cstdint>
#include <vector>

#include "criteria/criteria_value.h"

// Runs one command. For a one-argument command `second` is null. 0 on success, anything else on
// failure.
class CommandExecutor {
 public:
  virtual ~CommandExecutor() = default;
  virtual int execute(const CriteriaValue* first, const CriteriaValue* second,
                      CriteriaValue* result) = 0;
};

struct CriteriaCommand {
  static constexpr size_t kMaxNameUnits = 32;

  char16_t name[kMaxNameUnits + 1] = {};
  // 1 or 2; any other count is rejected when a call is parsed.
  uint8_t argumentCount = 0;
  CriteriaValue::Type resultType = CriteriaValue::NUMERIC;
  std::vector<CriteriaValue::Type> argumentTypes;
  // Not owned.
  CommandExecutor* executor = nullptr;
};

// Appends a command; false for an empty name, a name of more than kMaxNameUnits units, fewer
// argument types than arguments, or a null executor.
bool registerCriteriaCommand(const char16_t* name, uint8_t argumentCount,
                             CriteriaValue::Type resultType,
                             const std::vector<CriteriaValue::Type>& argumentTypes,
                             CommandExecutor* executor);
// Removes every command.
void clearCriteriaCommands();
size_t criteriaCommandCount();
// Null for an index outside the registry.
const CriteriaCommand* criteriaCommandAt(size_t index);

#endif  // FSCANNER_CRITERIA_CRITERIA_COMMANDS_H
