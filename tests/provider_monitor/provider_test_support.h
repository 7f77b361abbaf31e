// The configuration the provider tests hand in, and the path of this test program, which stands
// in for the monitor when it is started under the monitor's name.
#ifndef FSCANNER_TESTS_PROVIDER_MONITOR_PROVIDER_TEST_SUPPORT_H
#define FSCANNER_TESTS_PROVIDER_MONITOR_PROVIDER_TEST_SUPPORT_H

#include <gtest/gtest.h>

#include <initializer_list>
#include <map>
#include <new>
#include <string>
#include <vector>

#include "FsConfig.h"
#include "support/trace_capture.h"

// Values by "section/key"; records every look-up as "section/key=default"; may throw on demand.
class MapConfig final : public FsConfig {
 public:
  std::string getValue(const char* section, const char* key,
                       const char* defaultValue) const override {
    if (throws) throw std::bad_alloc();
    lookups.push_back(std::string(section) + "/" + key + "=" + defaultValue);
    auto found = values.find(std::string(section) + "/" + key);
    return found != values.end() ? found->second : defaultValue;
  }
  std::map<std::string, std::string> values;
  mutable std::vector<std::string> lookups;
  bool throws = false;
};

extern std::string g_testProgramPath;

// Each message was traced exactly (line feed included).
inline void expectTraced(const TraceCapture& capture, std::initializer_list<std::string> messages) {
  for (const std::string& message : messages) EXPECT_TRUE(capture.contains(message)) << message;
}

#endif  // FSCANNER_TESTS_PROVIDER_MONITOR_PROVIDER_TEST_SUPPORT_H
