// Windows: SO_EXCLUSIVEADDRUSE, so that no other socket can bind the port,
// even one asking to share it.
#include "http/server.h"

void ReserveAddress(tcp::acceptor& acceptor, beast::error_code& error) {
  acceptor.set_option(net::detail::socket_option::boolean<SOL_SOCKET, SO_EXCLUSIVEADDRUSE>(true), error);
}
