// Whether a connection to the view comes from the monitor's own user, as
// the view asks when it accepts one: this process's own connections over
// loopback do, IPv4 and IPv6, also one whose client has sent its request and
// shut its side at once.
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
    bool shut_first;
  };
  for (const Case& c : {Case{"127.0.0.1", false}, Case{"::1", false}, Case{"127.0.0.1", true}}) {
    if (!OwnersTold()) continue;
    net::io_context io;
    tcp::acceptor acceptor(io, tcp::endpoint(net::ip::make_address(c.address), 0));
    tcp::socket client(io);
    client.connect(acceptor.local_endpoint());
    if (c.shut_first) client.shutdown(tcp::socket::shutdown_send);
    const tcp::socket accepted = acceptor.accept();
    EXPECT_TRUE(OwnUser(accepted)) << c.address << (c.shut_first ? ", its client's side shut" : "");
  }
}
