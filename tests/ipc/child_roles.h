// The roles this test program plays when a test starts it again as a second process:
//   ipc_tests --child <role> <arguments...>
#ifndef FSCANNER_TESTS_IPC_CHILD_ROLES_H
#define FSCANNER_TESTS_IPC_CHILD_ROLES_H

namespace ipc_test {

// Runs the role named by argv[2] and ends the process with its exit code (never returns).
[[noreturn]] void runChildRole(int argc, char** argv);

}  // namespace ipc_test

#endif  // FSCANNER_TESTS_IPC_CHILD_ROLES_H
