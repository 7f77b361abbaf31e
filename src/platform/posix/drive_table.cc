#include "platform/posix/drive_table.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <mutex>

#include "platform/platform.h"
#include "platform/platform_testing.h"

namespace platform {
namespace internal {
namespace {

constexpr const char* kDrivesVariable = "FSCANNER_DRIVES";
constexpr const char* kDefaultTableText = "C:=/";
constexpr size_t kLetterCount = 26;

struct TypeWord {
  const char* word;
  uint32_t type;
};
const TypeWord kTypeWords[] = {{"removable", kDriveRemovable},
                               {"fixed", kDriveFixed},
                               {"remote", kDriveRemote},
                               {"cdrom", kDriveCdrom},
                               {"ramdisk", kDriveRamdisk}};

std::string trim(const std::string& text) {
  const size_t first = text.find_first_not_of(" \t");
  if (first == std::string::npos) return std::string();
  const size_t last = text.find_last_not_of(" \t");
  return text.substr(first, last - first + 1);
}

std::vector<std::string> split(const std::string& text, char separator) {
  std::vector<std::string> parts;
  size_t start = 0;
  for (;;) {
    const size_t end = text.find(separator, start);
    parts.push_back(text.substr(start, end == std::string::npos ? std::string::npos : end - start));
    if (end == std::string::npos) return parts;
    start = end + 1;
  }
}

bool equalsIgnoringCase(const std::string& a, const char* b) {
  size_t i = 0;
  for (; i < a.size() && b[i] != 0; ++i) {
    char x = a[i], y = b[i];
    if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
    if (x != y) return false;
  }
  return i == a.size() && b[i] == 0;
}

bool parseType(const std::string& word, uint32_t* type) {
  if (word.empty()) {
    *type = kDriveUnknown;
    return true;
  }
  for (const TypeWord& entry : kTypeWords) {
    if (equalsIgnoringCase(word, entry.word)) {
      *type = entry.type;
      return true;
    }
  }
  return false;
}

bool parseEntry(const std::string& entry, DriveSpec* out, std::string* problem) {
  const char letter = entry.empty() ? 0 : entry[0];
  const bool isLetter = (letter >= 'A' && letter <= 'Z') || (letter >= 'a' && letter <= 'z');
  if (!isLetter || entry.size() < 3 || entry[1] != ':' || entry[2] != '=') {
    *problem = "entry \"" + entry + "\" is not X:=/directory";
    return false;
  }
  out->letter = static_cast<char>(letter & ~0x20);
  const std::vector<std::string> fields = split(entry.substr(3), ',');
  const std::string root = trim(fields[0]);
  if (root.empty() || root[0] != '/') {
    *problem =
        "drive " + std::string(1, out->letter) + ": directory \"" + root + "\" is not absolute";
    return false;
  }
  out->root = normaliseHostPath(root);
  if (fields.size() > 3) {
    *problem = "entry \"" + entry + "\" has more than three fields";
    return false;
  }
  const std::string typeWord = fields.size() > 1 ? trim(fields[1]) : std::string();
  if (!parseType(typeWord, &out->type)) {
    *problem = "unknown drive type \"" + typeWord + "\"";
    return false;
  }
  out->fileSystem = fields.size() > 2 ? trim(fields[2]) : std::string();
  return true;
}

// The environment's table and the test table, behind one lock. Never destroyed, so that a
// thread still running during exit finds them intact.
struct TableState {
  std::mutex mutex;
  std::shared_ptr<const DriveTable> environmentTable;
  std::shared_ptr<const DriveTable> testTable;
};

TableState& tableState() {
  static TableState* state = new TableState;
  return *state;
}

std::shared_ptr<const DriveTable> loadEnvironmentTable() {
  auto table = std::make_shared<DriveTable>();
  const char* text = std::getenv(kDrivesVariable);
  if (text == nullptr || *text == 0) {
    *table = DriveTable::defaultTable();
    return table;
  }
  std::string problem;
  if (!DriveTable::parse(text, table.get(), &problem)) {
    std::fprintf(stderr, "fscanner: invalid %s (%s), using %s\n", kDrivesVariable, problem.c_str(),
                 kDefaultTableText);
    *table = DriveTable::defaultTable();
  }
  return table;
}

}  // namespace

bool DriveTable::parse(const char* text, DriveTable* out, std::string* problem) {
  if (text == nullptr) {
    *problem = "no text";
    return false;
  }
  DriveTable table;
  bool seen[kLetterCount] = {};
  for (const std::string& rawEntry : split(text, ';')) {
    const std::string entry = trim(rawEntry);
    if (entry.empty()) continue;
    DriveSpec drive;
    if (!parseEntry(entry, &drive, problem)) return false;
    bool& letterSeen = seen[drive.letter - 'A'];
    if (letterSeen) {
      *problem = "drive " + std::string(1, drive.letter) + ": is given twice";
      return false;
    }
    letterSeen = true;
    table.drives_.push_back(std::move(drive));
  }
  if (table.drives_.empty()) {
    *problem = "no drive";
    return false;
  }
  std::sort(table.drives_.begin(), table.drives_.end(),
            [](const DriveSpec& a, const DriveSpec& b) { return a.letter < b.letter; });
  *out = std::move(table);
  return true;
}

DriveTable DriveTable::defaultTable() {
  DriveTable table;
  std::string problem;
  parse(kDefaultTableText, &table, &problem);
  return table;
}

const DriveSpec* DriveTable::find(char16_t letter) const {
  if (letter >= u'a' && letter <= u'z') letter = static_cast<char16_t>(letter - u'a' + u'A');
  for (const DriveSpec& drive : drives_) {
    if (drive.letter == letter) return &drive;
  }
  return nullptr;
}

const DriveSpec* DriveTable::holder(const std::string& hostPath, std::string* rest) const {
  const DriveSpec* best = nullptr;
  for (const DriveSpec& drive : drives_) {
    const std::string& root = drive.root;
    const bool isRoot = root == "/";
    const bool holds = isRoot || (hostPath.compare(0, root.size(), root) == 0 &&
                                  (hostPath.size() == root.size() || hostPath[root.size()] == '/'));
    if (holds && (best == nullptr || root.size() > best->root.size())) best = &drive;
  }
  if (best != nullptr) {
    const size_t skip = best->root == "/" ? 1 : best->root.size() + 1;
    *rest = hostPath.size() > skip ? hostPath.substr(skip) : std::string();
  }
  return best;
}

std::vector<std::string> DriveTable::rootNamesIn(const std::string& directory) const {
  std::vector<std::string> names;
  const size_t parentLength = directory == "/" ? 0 : directory.size();
  for (const DriveSpec& drive : drives_) {
    const std::string& root = drive.root;
    if (root.size() > parentLength + 1 &&
        root.compare(0, parentLength, directory, 0, parentLength) == 0 &&
        root[parentLength] == '/' && root.find('/', parentLength + 1) == std::string::npos) {
      names.push_back(root.substr(parentLength + 1));
    }
  }
  return names;
}

bool DriveTable::isRootOfOtherDrive(char16_t letter, const std::string& hostPath) const {
  const DriveSpec* own = find(letter);
  for (const DriveSpec& drive : drives_) {
    if (&drive != own && drive.root == hostPath) return true;
  }
  return false;
}

std::shared_ptr<const DriveTable> currentDriveTable() {
  TableState& state = tableState();
  std::lock_guard<std::mutex> lock(state.mutex);
  if (state.testTable) return state.testTable;
  if (!state.environmentTable) state.environmentTable = loadEnvironmentTable();
  return state.environmentTable;
}

std::string normaliseHostPath(const std::string& absolutePath) {
  std::string out;
  size_t start = 0;
  while (start <= absolutePath.size()) {
    size_t end = absolutePath.find('/', start);
    if (end == std::string::npos) end = absolutePath.size();
    const size_t length = end - start;
    if (length == 2 && absolutePath.compare(start, 2, "..") == 0) {
      const size_t slash = out.rfind('/');
      out.resize(slash == std::string::npos ? 0 : slash);
    } else if (length > 0 && !(length == 1 && absolutePath[start] == '.')) {
      out.push_back('/');
      out.append(absolutePath, start, length);
    }
    start = end + 1;
  }
  return out.empty() ? std::string("/") : out;
}

}  // namespace internal

namespace testing {

bool setDriveTable(const char* text) {
  auto table = std::make_shared<internal::DriveTable>();
  std::string problem;
  if (!internal::DriveTable::parse(text, table.get(), &problem)) return false;
  internal::TableState& state = internal::tableState();
  std::lock_guard<std::mutex> lock(state.mutex);
  state.testTable = std::move(table);
  return true;
}

void resetDriveTable() {
  internal::TableState& state = internal::tableState();
  std::lock_guard<std::mutex> lock(state.mutex);
  state.testTable.reset();
}

}  // namespace testing
}  // namespace platform
