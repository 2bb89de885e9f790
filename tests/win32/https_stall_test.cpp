// The secure path of the Windows build (WinHTTP under Wine) against a
// server that stops sending: each wait for its next byte is bounded by the
// receive time-out, far below the whole download's bound. Run by
// https_stall_test.sh, inside the namespace where nginx and the silent
// servers behind it listen.
#include <gtest/gtest.h>

#include <chrono>
#include <string>

#include "base/environment.h"
#include "retrieval/http_fetcher.h"

namespace korvo {
namespace {

using Ms = std::chrono::milliseconds;

TEST(WindowsHttpsStallTest, AServerThatStopsSendingIsLeftAfterTheReceiveTimeout) {
  Environment env;
  env.limits.receiveTimeoutMs = 1000;
  env.limits.maxDownloadMs = 20000;
  const struct {
    const char* name;
    const char* url;
  } cases[] = {
      {"the head and a little of the body, then nothing", "https://good.korvo.test/head.xml"},
      {"no answer at all", "https://good.korvo.test/silent.xml"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Feed feed(c.url, env);
    std::string body;
    DownloadTrace trace;
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(download(feed, body, &trace));
    const auto took = std::chrono::duration_cast<Ms>(std::chrono::steady_clock::now() - start);
    EXPECT_EQ(feed.errorText, "Server stopped sending data.") << trace.detail;
    EXPECT_GE(took.count(), 900);
    EXPECT_LT(took.count(), 10000) << "not the whole download's bound";
  }
}

}  // namespace
}  // namespace korvo
