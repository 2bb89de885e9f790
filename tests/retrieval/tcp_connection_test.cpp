#include "retrieval/tcp_connection.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <string>

#include "support/case_address.h"
#include "support/loopback_server.h"

namespace korvo {
namespace {

using test::LoopbackServer;
using test::Script;
using Ms = std::chrono::milliseconds;

constexpr const char* kDeadAddress = "127.0.3.3";  // nobody listens here

std::size_t openDescriptors() {
  std::size_t count = 0;
  for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator("/proc/self/fd"))
    ++count;
  return count;
}

class TcpConnectionTest : public ::testing::Test {
 protected:
  void SetUp() override { KORVO_SKIP_WITHOUT_PORT_80(); }

  // The address of this case alone (support/case_address.h).
  const std::string kAddress = test::caseAddress();
};

TEST_F(TcpConnectionTest, ReceiveTellsCloseFromTimeOut) {
  LoopbackServer server(kAddress, {Script().send("hello"), Script().stall()});
  ASSERT_TRUE(server.ok()) << server.error();

  TcpConnection closing;
  ASSERT_TRUE(closing.connectTo(kAddress, 80));
  EXPECT_EQ(closing.setReceiveTimeout(2000), 0);
  EXPECT_EQ(closing.sendText("GET / HTTP/1.0\r\n\r\n"), 18);
  char buffer[1024];
  EXPECT_EQ(closing.receive(buffer, sizeof buffer), 5);
  EXPECT_EQ(std::string(buffer, 5), "hello");
  EXPECT_EQ(closing.receive(buffer, sizeof buffer), 0);
  EXPECT_EQ(closing.close(), 0);
  EXPECT_LT(closing.close(), 0);

  TcpConnection silent;
  ASSERT_TRUE(silent.connectTo(kAddress, 80));
  EXPECT_EQ(silent.setReceiveTimeout(100), 0);
  silent.sendText("GET / HTTP/1.0\r\n\r\n");
  EXPECT_LT(silent.receive(buffer, sizeof buffer), 0);
}

TEST_F(TcpConnectionTest, ASendToAResetPeerFailsWithoutASignal) {
  // The server resets once it has read the request: a reset that came
  // before the connect had been seen through would fail the connect.
  LoopbackServer server(kAddress, Script().reset());
  ASSERT_TRUE(server.ok()) << server.error();
  TcpConnection connection;
  ASSERT_TRUE(connection.connectTo(kAddress, 80));
  ASSERT_EQ(connection.sendText("GET / HTTP/1.0\r\n\r\n"), 18);
  ASSERT_TRUE(server.waitForFinished(1, Ms(5000)));
  // The first connection the server finished may have been another case's
  // client; ours is then reset a moment later, so keep sending until then.
  int result = 0;
  const auto giveUp = std::chrono::steady_clock::now() + Ms(10000);
  while (result >= 0 && std::chrono::steady_clock::now() < giveUp) {
    result = connection.sendText("data");
    if (result >= 0) std::this_thread::sleep_for(Ms(5));
  }
  EXPECT_LT(result, 0);
  // The first failure may report the reset; the ones after it meet a broken pipe.
  EXPECT_LT(connection.sendText("data"), 0);
  EXPECT_LT(connection.sendText("data"), 0);
}

// Counts the descriptors of this process, which only Linux shows this way
// (the Windows build leaves this case out).
TEST_F(TcpConnectionTest, FailedConnectsLeaveNoSocketOpen) {
  LoopbackServer server = LoopbackServer::unanswered(kAddress);
  ASSERT_TRUE(server.ok()) << server.error();
  const std::size_t before = openDescriptors();
  const std::string hosts[] = {kDeadAddress, "bad..host", kAddress + ":80", "", "a b"};
  for (const std::string& host : hosts) {
    SCOPED_TRACE(host);
    TcpConnection connection;
    EXPECT_FALSE(connection.connectTo(host, 80));
    EXPECT_LT(connection.close(), 0);
  }
  TcpConnection connection(200);
  EXPECT_FALSE(connection.connectTo(kAddress, 0));
  EXPECT_FALSE(connection.connectTo(kAddress, 65536));
  EXPECT_FALSE(connection.connectTo(kAddress, 80)) << "the connect times out";
  EXPECT_EQ(openDescriptors(), before);
}

TEST_F(TcpConnectionTest, AConnectWithoutAnswerGivesUpAfterItsTimeOut) {
  LoopbackServer server = LoopbackServer::unanswered(kAddress);
  ASSERT_TRUE(server.ok()) << server.error();
  TcpConnection connection(200);
  const auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(connection.connectTo(kAddress, 80));
  const auto took = std::chrono::steady_clock::now() - start;
  EXPECT_GE(took, Ms(150));
  EXPECT_LT(took, Ms(3000));
}

TEST(TcpConnectionWithoutSocketTest, OperationsFail) {
  TcpConnection connection;
  char buffer[16];
  EXPECT_LT(connection.setReceiveTimeout(100), 0);
  EXPECT_LT(connection.sendText("x"), 0);
  EXPECT_LT(connection.receive(buffer, sizeof buffer), 0);
  EXPECT_LT(connection.close(), 0);
}

}  // namespace
}  // namespace korvo
