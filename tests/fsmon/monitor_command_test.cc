// The monitor's command line as the provider builds it, after the Win32 splitting rules: a home
// ending in a backslash merges the words after it into one argument.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "monitor_command.h"
#include "support/narrow_text.h"

namespace {

using Arguments = std::vector<std::u16string>;

// The parsed command as "directories|files|home|kind|drives|start or stop", or "refused" when
// parsing fails with a message.
std::string parsed(const Arguments& arguments) {
  MonitorCommand command;
  std::string error;
  if (!parseMonitorCommand(arguments, &command, &error)) {
    return error.empty() ? "refused without a message" : "refused";
  }
  return narrow(command.directoriesTable + u"|" + command.filesTable + u"|" + command.home + u"|" +
                command.kind + u"|" + command.drives) +
         (command.stop ? "|stop" : "|start");
}

TEST(MonitorCommandTest, BothSplittingsOfTheProvidersLineGiveOneCommandOthersAreRefused) {
  const std::pair<Arguments, const char*> cases[] = {
      {{u"mon_dirs", u"mon_files", u"C:\" monitor_win32 $local start"},
       "mon_dirs|mon_files|C:\\|monitor_win32|$local|start"},
      {{u"mon_dirs", u"mon_files", u"C:\"", u"monitor_win32", u"$local", u"stop"},
       "mon_dirs|mon_files|C:\\|monitor_win32|$local|stop"},
      {{u"dirs", u"files", u"D:\\cache", u"kind", u"drives", u"start"},
       "dirs|files|D:\\cache|kind|drives|start"},
      {{u"mon_dirs", u"mon_files", u"D:\\my cache\\x\"  monitor_win32\t$local  stop"},
       "mon_dirs|mon_files|D:\\my cache\\x\\|monitor_win32|$local|stop"},
      // Incomplete or unknown commands.
      {{}, "refused"},
      {{u"mon_dirs", u"mon_files"}, "refused"},
      {{u"mon_dirs", u"mon_files", u"C:\" monitor_win32 $local"}, "refused"},
      {{u"mon_dirs", u"mon_files", u"C:\" monitor_win32 $local restart"}, "refused"},
      {{u"mon_dirs", u"mon_files", u"C:\\x", u"k", u"$local", u"start", u"extra"}, "refused"},
      {{u"", u"mon_files", u"C:\\x", u"k", u"$local", u"start"}, "refused"},
      {{u"mon_dirs", u"", u"C:\\x", u"k", u"$local", u"start"}, "refused"},
      {{u"mon_dirs", u"mon_files", u"\" k $local start"}, "refused"}};
  for (const auto& [arguments, expected] : cases) EXPECT_EQ(parsed(arguments), expected);
}

}  // namespace
