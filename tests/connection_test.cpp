// Connecting, disconnecting and what happens when the display host is absent
// or goes away.
#include <gtest/gtest.h>

#include "VesprineDovetide.h"
#include "messages.h"
#include "test_server.h"

namespace {

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

}  // namespace
