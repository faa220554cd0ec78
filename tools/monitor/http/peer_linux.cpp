// Linux: the kernel's socket diagnostics name the user of the socket at the
// other end of a loopback connection; the descriptor limit bounds the view.
#include <linux/inet_diag.h>
#include <linux/netlink.h>
#include <linux/sock_diag.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>

#include "http/peer.h"
#include "http/view.h"

namespace {

using tcp = boost::asio::ip::tcp;

// Descriptors the monitor holds whatever the view does: standard streams,
// listeners, event queues, the session file, images being read.
constexpr rlim_t kOwnDescriptors = 16;

void CopyAddress(const boost::asio::ip::address& address, __be32* to) {
  if (address.is_v6()) {
    const auto bytes = address.to_v6().to_bytes();
    std::memcpy(to, bytes.data(), bytes.size());
  } else {
    const auto bytes = address.to_v4().to_bytes();
    std::memcpy(to, bytes.data(), bytes.size());
  }
}

}  // namespace

bool OwnUser(const tcp::socket& socket) {
  tcp::endpoint local, remote;
  if (!Ends(socket, local, remote)) return false;
  // One socket asked for by its four addresses: the peer's, whose source is
  // this connection's remote end.
  struct {
    nlmsghdr header;
    inet_diag_req_v2 request;
  } ask{};
  ask.header.nlmsg_len = sizeof(ask);
  ask.header.nlmsg_type = SOCK_DIAG_BY_FAMILY;
  ask.header.nlmsg_flags = NLM_F_REQUEST;
  ask.request.sdiag_family = remote.address().is_v6() ? AF_INET6 : AF_INET;
  ask.request.sdiag_protocol = IPPROTO_TCP;
  ask.request.idiag_states = ~0U;
  ask.request.id.idiag_sport = htons(remote.port());
  ask.request.id.idiag_dport = htons(local.port());
  CopyAddress(remote.address(), ask.request.id.idiag_src);
  CopyAddress(local.address(), ask.request.id.idiag_dst);
  ask.request.id.idiag_cookie[0] = ask.request.id.idiag_cookie[1] = INET_DIAG_NOCOOKIE;
  const int diag = ::socket(AF_NETLINK, SOCK_DGRAM | SOCK_CLOEXEC, NETLINK_SOCK_DIAG);
  if (diag < 0) return false;
  sockaddr_nl kernel{};
  kernel.nl_family = AF_NETLINK;
  bool own = false;
  if (sendto(diag, &ask, sizeof(ask), 0, reinterpret_cast<sockaddr*>(&kernel), sizeof(kernel)) == sizeof(ask)) {
    // The kernel answers within sendto; nothing there is no answer.
    alignas(nlmsghdr) char answer[1024];
    const ssize_t size = recv(diag, answer, sizeof(answer), MSG_DONTWAIT);
    const auto* header = reinterpret_cast<const nlmsghdr*>(answer);
    if (size >= static_cast<ssize_t>(NLMSG_LENGTH(sizeof(inet_diag_msg))) &&
        header->nlmsg_type == SOCK_DIAG_BY_FAMILY) {
      const auto* found = static_cast<const inet_diag_msg*>(NLMSG_DATA(header));
      // Only a socket that is still open names its user (a client that has
      // sent its request and shut its side is as good): one waiting out its
      // time says uid 0.
      const bool open = found->idiag_state == TCP_ESTABLISHED || found->idiag_state == TCP_FIN_WAIT1 ||
                        found->idiag_state == TCP_FIN_WAIT2;
      own = open && found->idiag_uid == geteuid();
    }
  }
  close(diag);
  return own;
}

bool OtherUsersTold() { return true; }

int MaxConnections() {
  rlimit limit{};
  if (getrlimit(RLIMIT_NOFILE, &limit) != 0) return kMaxConnections;
  // Half of what the monitor's own leave: the other half for the pipe's clients.
  const rlim_t spare = limit.rlim_cur > kOwnDescriptors ? (limit.rlim_cur - kOwnDescriptors) / 2 : 0;
  return static_cast<int>(std::clamp<rlim_t>(spare, 1, kMaxConnections));
}
