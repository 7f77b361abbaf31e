// Splitting a Windows command line into words.
#ifndef FSCANNER_PLATFORM_POSIX_COMMAND_LINE_H
#define FSCANNER_PLATFORM_POSIX_COMMAND_LINE_H

#include <string>
#include <vector>

namespace platform {
namespace internal {

// The words of a command line by the rules of CommandLineToArgvW. Spaces and tabs separate
// words. The first word, the image, ends at the next space or tab, or, when it starts with a
// quote, at the next quote (backslashes are plain characters there). In the other words:
// 2n backslashes before a quote give n backslashes and the quote opens or closes a quoted part;
// 2n+1 backslashes before a quote give n backslashes and a literal quote; backslashes not
// before a quote are literal; inside a quoted part, two quotes give a literal quote and end the
// quoted part. Empty for a null or blank command line.
std::vector<std::u16string> splitCommandLine(const char16_t* commandLine);

}  // namespace internal
}  // namespace platform

#endif  // FSCANNER_PLATFORM_POSIX_COMMAND_LINE_H
