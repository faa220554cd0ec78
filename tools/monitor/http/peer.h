// What the operating system tells the view about its connections: who is
// at the other end, and how many it may hold.
#pragma once

#include <boost/asio/ip/tcp.hpp>

// The two ends of `socket`; false when either cannot be read.
inline bool Ends(const boost::asio::ip::tcp::socket& socket, boost::asio::ip::tcp::endpoint& local,
                 boost::asio::ip::tcp::endpoint& remote) {
  boost::system::error_code error;
  local = socket.local_endpoint(error);
  if (!error) remote = socket.remote_endpoint(error);
  return !error;
}

// Whether the process at the other end of `socket`, a connection over
// loopback, runs as this process's user; false when that cannot be told
// (no such process found, or not allowed to look at it).
bool OwnUser(const boost::asio::ip::tcp::socket& socket);
// Whether OwnUser's false means another user for certain (Linux: the kernel
// names every open socket's user), rather than perhaps one it cannot tell
// (Windows: a process it may not look at; under Wine, a Linux program).
bool OtherUsersTold();

// How many connections the view may hold at once: kMaxConnections, fewer
// where so many would leave too few descriptors for the pipe's clients,
// the image files and the session file.
int MaxConnections();
