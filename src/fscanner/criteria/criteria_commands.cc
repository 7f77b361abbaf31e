#include "criteria/criteria_commands.h"

#include "base/wstring.h"

namespace {

std::vector<CriteriaCommand>& registry() {
  static std::vector<CriteriaCommand> commands;
  return commands;
}

}  // namespace

bool registerCriteriaCommand(const char16_t* name, uint8_t argumentCount,
                             CriteriaValue::Type resultType,
                             const std::vector<CriteriaValue::Type>& argumentTypes,
                             CommandExecutor* executor) {
  size_t length = wcsLength(name);
  if (length == 0 || length > CriteriaCommand::kMaxNameUnits ||
      argumentTypes.size() < argumentCount || executor == nullptr) {
    return false;
  }
  CriteriaCommand command;
  for (size_t i = 0; i < length; ++i) command.name[i] = name[i];
  command.argumentCount = argumentCount;
  command.resultType = resultType;
  command.argumentTypes = argumentTypes;
  command.executor = executor;
  registry().push_back(command);
  return true;
}

void clearCriteriaCommands() {
  // Left untouched when already empty, so that analyzers built on several threads only read it.
  if (!registry().empty()) registry().clear();
}

size_t criteriaCommandCount() { return registry().size(); }

const CriteriaCommand* criteriaCommandAt(size_t index) {
  return index < registry().size() ? &registry()[index] : nullptr;
}
