// Whether a call failed (succeeded is its outcome) with that error; clears the error for the next.
#ifndef FSCANNER_TESTS_SUPPORT_FAILED_WITH_H
#define FSCANNER_TESTS_SUPPORT_FAILED_WITH_H

#include <gtest/gtest.h>

#include <cstdint>

#include "platform/platform.h"

inline ::testing::AssertionResult failedWith(bool succeeded, uint32_t error) {
  const uint32_t actual = platform::lastError();
  platform::setLastError(0);
  if (!succeeded && actual == error) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure()
         << (succeeded ? "succeeded" : "failed") << ", error " << actual;
}

#endif  // FSCANNER_TESTS_SUPPORT_FAILED_WITH_H
