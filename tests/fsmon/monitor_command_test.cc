// The monitor's command line as the provider builds it, after the Win32 splitting rules: a home
// ending in a backslash merges the words after it into one argument.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "monitor_command.h"
#include "support/narrow_text.h"

namespace {

using Arguments = std::vector<std::u16string>;

TEST(MonitorCommandTest, BothSplittingsOfTheProvidersLineGiveOneCommandOthersAreRefused) {
  struct Case {
    Arguments arguments;
    const char16_t* home;
    bool stop;
  };
  const Case cases[] = {
      {{u"mon_dirs", u"mon_files", u"C:\" monitor_win32 $local start"}, u"C:\\", false},
      {{u"mon_dirs", u"mon_files", u"C:\"", u"monitor_win32", u"$local", u"stop"}, u"C:\\", true},
      {{u"mon_dirs", u"mon_files", u"D:\\cache", u"monitor_win32", u"$local", u"start"},
       u"D:\\cache",
       false},
      {{u"mon_dirs", u"mon_files", u"D:\\my cache\\x\"  monitor_win32\t$local  stop"},
       u"D:\\my cache\\x\\",
       true}};
  for (const Case& c : cases) {
    MonitorCommand command;
    std::string error;
    ASSERT_TRUE(parseMonitorCommand(c.arguments, &command, &error)) << error;
    EXPECT_EQ(command.directoriesTable, u"mon_dirs");
    EXPECT_EQ(command.filesTable, u"mon_files");
    EXPECT_EQ(command.home, c.home) << narrow(command.home);
    EXPECT_EQ(command.kind, u"monitor_win32");
    EXPECT_EQ(command.drives, u"$local");
    EXPECT_EQ(command.stop, c.stop);
  }
  // Incomplete or unknown commands are refused.
  const Arguments refused[] = {
      {},
      {u"mon_dirs", u"mon_files"},
      {u"mon_dirs", u"mon_files", u"C:\" monitor_win32 $local"},
      {u"mon_dirs", u"mon_files", u"C:\" monitor_win32 $local restart"},
      {u"mon_dirs", u"mon_files", u"C:\\x", u"k", u"$local", u"start", u"extra"},
      {u"", u"mon_files", u"C:\\x", u"k", u"$local", u"start"},
      {u"mon_dirs", u"mon_files", u"\" k $local start"}};
  for (const Arguments& arguments : refused) {
    MonitorCommand command;
    std::string error;
    EXPECT_FALSE(parseMonitorCommand(arguments, &command, &error));
    EXPECT_FALSE(error.empty());
  }
}

}  // namespace
