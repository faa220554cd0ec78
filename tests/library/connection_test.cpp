// Connecting, disconnecting and what happens when the display host is absent,
// busy, slow or goes away.
#include <algorithm>
#include <chrono>
#include <future>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "VesprineDovetide.h"
#include "messages.h"
#include "test_server.h"

namespace {

using namespace std::chrono_literals;

class Connection : public testing::Test {
 protected:
  void SetUp() override { Dispose(); }
  void TearDown() override { Dispose(); }
};

// Checks that `server` receives the DrawPixel(x, 0) message next.
void ExpectPixel(TestServer& server, int32_t x) {
  const auto message = server.Next();
  ASSERT_TRUE(message) << "no message arrived";
  EXPECT_TRUE(SameMessage(*message, ShortMessage(1, {{at::x, x}})));
}

TEST_F(Connection, WithoutDisplayHostEveryCallReturnsZeroAndNothingArrivesLater) {
  EXPECT_EQ(Init(), 0);
  for (const Golden& golden : EveryCommand()) EXPECT_EQ(golden.call(), 0) << golden.what;
  EXPECT_EQ(Dispose(), 0);

  TestServer server;
  EXPECT_EQ(DrawPixel(1, 0), 1);
  ExpectPixel(server, 1);
  EXPECT_TRUE(server.WaitForClients(1));
}

TEST_F(Connection, FirstCommandConnectsWithoutInit) {
  TestServer server;
  EXPECT_EQ(DrawPixel(1, 0), 1);
  EXPECT_EQ(DrawPixel(2, 0), 1);
  ExpectPixel(server, 1);
  ExpectPixel(server, 2);
  EXPECT_TRUE(server.WaitForClients(1));
}

TEST_F(Connection, InitAndDisposeSendNothing) {
  TestServer server;
  EXPECT_EQ(Init(), 1);
  ASSERT_TRUE(server.WaitForClients(1));
  EXPECT_EQ(Dispose(), 1);
  EXPECT_EQ(Init(), 1);
  EXPECT_EQ(DrawPixel(1, 0), 1);
  ExpectPixel(server, 1);
  EXPECT_TRUE(server.WaitForClients(2));
}

TEST_F(Connection, DisposeWithoutConnectionReturnsZero) {
  TestServer server;
  EXPECT_EQ(Dispose(), 0);
  EXPECT_EQ(Init(), 1);
  EXPECT_EQ(Dispose(), 1);
  EXPECT_EQ(Dispose(), 0);
}

TEST_F(Connection, InitWhileConnectedReconnects) {
  TestServer server;
  EXPECT_EQ(DrawPixel(1, 0), 1);
  ASSERT_TRUE(server.WaitForClients(1));
  EXPECT_EQ(Init(), 1);
  EXPECT_EQ(DrawPixel(2, 0), 1);
  ExpectPixel(server, 1);
  ExpectPixel(server, 2);
  EXPECT_TRUE(server.WaitForClients(2));
}

TEST_F(Connection, InitWhileConnectedWithDisplayHostGoneDisconnects) {
  {
    TestServer server;
    EXPECT_EQ(Init(), 1);
  }
  EXPECT_EQ(Init(), 0);
  EXPECT_EQ(Dispose(), 0);
}

TEST_F(Connection, DisplayHostClosingItsEndFailsOneCallThenReconnects) {
  TestServer server;
  EXPECT_EQ(DrawPixel(1, 0), 1);
  ExpectPixel(server, 1);
  server.DropClient();
  EXPECT_EQ(DrawPixel(2, 0), 0);
  EXPECT_EQ(DrawPixel(3, 0), 1);
  ExpectPixel(server, 3);
  EXPECT_TRUE(server.WaitForClients(2));
}

TEST_F(Connection, DisplayHostRestarting) {
  auto server = std::make_unique<TestServer>();
  EXPECT_EQ(DrawPixel(1, 0), 1);
  ExpectPixel(*server, 1);
  server.reset();
  EXPECT_EQ(DrawPixel(2, 0), 0);
  EXPECT_EQ(DrawPixel(3, 0), 0);

  server = std::make_unique<TestServer>();
  EXPECT_EQ(DrawPixel(4, 0), 1);
  ExpectPixel(*server, 4);

  // Restarting between commands, then Init: the new host gets the next one.
  server.reset();
  server = std::make_unique<TestServer>();
  EXPECT_EQ(Init(), 1);
  EXPECT_EQ(DrawPixel(5, 0), 1);
  ExpectPixel(*server, 5);
}

TEST_F(Connection, EveryInstanceBusyReturnsZeroAtOnce) {
  BusyEndpoint busy;
  auto calls = std::async(std::launch::async, [] { return std::make_pair(Init(), DrawPixel(1, 0)); });
  ASSERT_EQ(calls.wait_for(10s), std::future_status::ready) << "the open waited for a busy endpoint";
  EXPECT_EQ(calls.get(), std::make_pair(0, 0));
}

TEST_F(Connection, DisplayHostClosingWhileAWriteIsBlockedReleasesIt) {
  TestServer server;
  ASSERT_EQ(DrawPixel(1, 0), 1);
  ExpectPixel(server, 1);
  server.Pause();
  // More 64 KiB lines than any transport buffer holds: one of them blocks.
  const std::string line(65535, 'b');
  auto writes = std::async(std::launch::async, [&] {
    std::vector<int32_t> results;
    do {
      results.push_back(LogI(line.c_str()));
    } while (results.back() == 1 && results.size() < 64);
    return results;
  });
  ASSERT_EQ(writes.wait_for(500ms), std::future_status::timeout) << "no write blocked";
  server.DropClient();
  ASSERT_EQ(writes.wait_for(10s), std::future_status::ready) << "the blocked write was not released";
  const std::vector<int32_t> results = writes.get();
  EXPECT_EQ(results.back(), 0);
  EXPECT_EQ(std::count(results.begin(), results.end(), 1), static_cast<long>(results.size()) - 1);

  server.Resume();
  EXPECT_EQ(DrawPixel(2, 0), 1);
  ExpectPixel(server, 2);
}

TEST_F(Connection, DisplayHostThatStopsReadingHoldsTheCallerAndLosesNothing) {
  TestServer server;
  server.Pause();
  const std::string line(65535, 's');
  auto writes = std::async(std::launch::async, [&] {
    int32_t all = 1;
    for (int32_t i = 0; i < 20; ++i) all &= DrawPixel(i, 0) & LogI(line.c_str());
    return all;
  });
  ASSERT_EQ(writes.wait_for(500ms), std::future_status::timeout) << "the caller was not held up";
  server.Resume();
  ASSERT_EQ(writes.wait_for(60s), std::future_status::ready);
  EXPECT_EQ(writes.get(), 1);
  for (int32_t i = 0; i < 20; ++i) {
    ExpectPixel(server, i);
    const auto message = server.Next();
    ASSERT_TRUE(message);
    EXPECT_TRUE(SameMessage(*message, LogMessage(22, line)));
  }
  EXPECT_FALSE(server.Next(100ms)) << "a message arrived twice";
}

// Init and Dispose in every state, including after a write failed.
TEST_F(Connection, InitAndDisposeAtEveryPoint) {
  EXPECT_EQ(Dispose(), 0);  // disconnected
  EXPECT_EQ(Init(), 0);     // disconnected, no display host
  auto server = std::make_unique<TestServer>();
  EXPECT_EQ(Init(), 1);  // disconnected -> connected
  ASSERT_TRUE(server->WaitForClients(1));
  EXPECT_EQ(Init(), 1);  // connected -> connected anew
  ASSERT_TRUE(server->WaitForClients(2));
  EXPECT_EQ(Dispose(), 1);  // connected -> disconnected
  EXPECT_EQ(Dispose(), 0);

  EXPECT_EQ(DrawPixel(1, 0), 1);
  ExpectPixel(*server, 1);
  server.reset();
  EXPECT_EQ(Dispose(), 1);  // the display host is gone, but the close itself succeeds
  server = std::make_unique<TestServer>();
  EXPECT_EQ(DrawPixel(2, 0), 1);
  ExpectPixel(*server, 2);
  server.reset();
  EXPECT_EQ(DrawPixel(3, 0), 0);  // the failed write left the library disconnected
  EXPECT_EQ(Dispose(), 0);
}

}  // namespace
