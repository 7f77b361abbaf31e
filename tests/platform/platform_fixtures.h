// Drive tables, text helpers and checks run as an ordinary user, for the platform tests.
#ifndef FSCANNER_TESTS_PLATFORM_PLATFORM_FIXTURES_H
#define FSCANNER_TESTS_PLATFORM_PLATFORM_FIXTURES_H

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <functional>
#include <string>

#include "platform/platform.h"
#include "platform/platform_testing.h"
#include "support/drive_table.h"  // ScopedDriveTable
#include "support/failed_with.h"
#include "support/narrow_text.h"

// Runs check as an ordinary user: in this process when it is one, else in a child that drops
// root's rights (the files it needs must be reachable by "nobody"). Returns check's result (0 for
// success by convention), or kCannotRunAsUser.
constexpr int kCannotRunAsUser = 100;
inline int runAsOrdinaryUser(const std::function<int()>& check) {
  if (geteuid() != 0) return check();
  const pid_t child = fork();
  if (child < 0) return kCannotRunAsUser;
  if (child == 0) {
    constexpr uid_t kNobody = 65534;
    if (setgid(kNobody) != 0 || setuid(kNobody) != 0) _exit(kCannotRunAsUser);
    _exit(check());
  }
  int status = 0;
  if (waitpid(child, &status, 0) != child || !WIFEXITED(status)) return kCannotRunAsUser + 1;
  return WEXITSTATUS(status);
}

#endif  // FSCANNER_TESTS_PLATFORM_PLATFORM_FIXTURES_H
