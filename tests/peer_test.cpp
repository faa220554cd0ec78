// Whether a connection to the view comes from the monitor's own user, as
// the view asks when it accepts one: this process's own connections over
// loopback do, IPv4 and IPv6; one whose client has closed can no longer be
// told (Linux names no user for a socket waiting out its time, or says uid 0).
#include "http/peer.h"

#include <gtest/gtest.h>

#ifdef _WIN32
#include <windows.h>
// Wine's table of connections seldom names the process that owns one (a
// Linux program never), so there the view asks everyone for the token.
bool OwnersTold() { return GetProcAddress(GetModuleHandleA("ntdll.dll"), "wine_get_version") == nullptr; }
#else
bool OwnersTold() { return true; }
#endif

namespace net = boost::asio;
using tcp = net::ip::tcp;

TEST(Peer, OwnConnectionsOverLoopbackAreOwnUsers) {
  struct Case {
    const char* address;
    bool closed_first;
    bool own;
  };
  for (const Case& c : {Case{"127.0.0.1", false, true}, Case{"::1", false, true}, Case{"127.0.0.1", true, false}}) {
    if (c.own && !OwnersTold()) continue;
    net::io_context io;
    tcp::acceptor acceptor(io, tcp::endpoint(net::ip::make_address(c.address), 0));
    tcp::socket client(io);
    client.connect(acceptor.local_endpoint());
    if (c.closed_first) client.close();
    const tcp::socket accepted = acceptor.accept();
    EXPECT_EQ(OwnUser(accepted), c.own) << c.address << (c.closed_first ? ", its client closed" : "");
  }
}
