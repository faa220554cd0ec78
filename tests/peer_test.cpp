// Whether a connection to the view comes from the monitor's own user, as
// the view asks when it accepts one: this process's own connections over
// loopback do, IPv4 and IPv6; one whose client has closed can no longer be
// told (Linux names no user for a socket waiting out its time, or says uid 0).
#include <gtest/gtest.h>

#include "http/peer.h"

namespace net = boost::asio;
using tcp = net::ip::tcp;

TEST(Peer, OwnConnectionsOverLoopbackAreOwnUsers) {
  struct Case {
    const char* address;
    bool closed_first;
    bool own;
  };
  for (const Case& c : {Case{"127.0.0.1", false, true}, Case{"::1", false, true}, Case{"127.0.0.1", true, false}}) {
    net::io_context io;
    tcp::acceptor acceptor(io, tcp::endpoint(net::ip::make_address(c.address), 0));
    tcp::socket client(io);
    client.connect(acceptor.local_endpoint());
    if (c.closed_first) client.close();
    const tcp::socket accepted = acceptor.accept();
    EXPECT_EQ(OwnUser(accepted), c.own) << c.address << (c.closed_first ? ", its client closed" : "");
  }
}
