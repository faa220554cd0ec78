// Linux: a port is never shared between listening sockets without
// SO_REUSEPORT; SO_REUSEADDR only lets a restarted monitor bind past
// connections still in TIME_WAIT.
#include "http/server.h"

void ReserveAddress(tcp::acceptor& acceptor, beast::error_code& error) {
  acceptor.set_option(net::socket_base::reuse_address(true), error);
}
