// Linux: the address of the abstract socket behind the pipe name, for the
// library, the monitor, and the tests and benchmarks that serve or reach it.
#pragma once

#include <sys/socket.h>
#include <sys/un.h>

#include <cstddef>
#include <cstring>

#include "protocol/protocol.h"

// Abstract: a leading NUL, then the name's bytes without a trailing NUL.
struct SocketAddress {
  sockaddr_un address{};
  socklen_t length = offsetof(sockaddr_un, sun_path) + sizeof(kSocketName);

  SocketAddress() {
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path + 1, kSocketName, sizeof(kSocketName) - 1);
  }
  const sockaddr* get() const { return reinterpret_cast<const sockaddr*>(&address); }
};
