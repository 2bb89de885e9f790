#pragma once
// Tests that need something of the machine (root or a namespace for port
// 80, nginx, Xvfb, xdotool, libfaketime, a mount namespace ...) skip with
// the reason when it is missing, so that a developer's own run still
// passes. CI sets KORVO_REQUIRE_ALL_TESTS=1: there a missing prerequisite
// fails the case with the same reason, so no test passes by not running.
#include <cstdlib>
#include <cstring>

#include <gtest/gtest.h>

namespace korvo::test {

inline bool allTestsRequired() {
  const char* value = std::getenv("KORVO_REQUIRE_ALL_TESTS");
  return value != nullptr && *value != '\0' && std::strcmp(value, "0") != 0;
}

inline ::testing::TestPartResult::Type missingPrerequisiteResult() {
  return allTestsRequired() ? ::testing::TestPartResult::kFatalFailure
                            : ::testing::TestPartResult::kSkip;
}

}  // namespace korvo::test

// Ends the case with the reason streamed after it, as GTEST_SKIP() does:
// skipped, or failed where every test must run. Use it in a test body,
// SetUp or a helper that returns void.
#define KORVO_SKIP_FOR_PREREQUISITE()                                                     \
  return ::testing::internal::AssertHelper(::korvo::test::missingPrerequisiteResult(),    \
                                           __FILE__, __LINE__,                            \
                                           "prerequisite missing:") =    \
             ::testing::Message()
