// The command line the provider starts the monitor with:
//   "<bin>\fsmon.exe" <directories table> <files table> "<cache home>" <kind> <drives> start|stop
// With a home that ends in a backslash (the default "C:\") the Win32 splitting rules read the
// backslash and the closing quote as a literal quote and merge the remaining words into one
// argument; parseMonitorCommand re-splits them so that both forms give the same command.
#ifndef FSCANNER_TOOLS_FSMON_MONITOR_COMMAND_H
#define FSCANNER_TOOLS_FSMON_MONITOR_COMMAND_H

#include <string>
#include <vector>

struct MonitorCommand {
  std::u16string directoriesTable;
  std::u16string filesTable;
  std::u16string home;
  std::u16string kind;
  std::u16string drives;
  bool stop = false;
};

// The arguments after the program name, as the process received them. False, with a message in
// *error, when they do not form a command.
bool parseMonitorCommand(const std::vector<std::u16string>& arguments, MonitorCommand* command,
                         std::string* error);

#endif  // FSCANNER_TOOLS_FSMON_MONITOR_COMMAND_H
