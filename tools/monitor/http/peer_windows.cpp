// Windows: the table of TCP connections names the process at the other end
// of a loopback connection, and that process's token its user. Sockets are
// no scarce descriptors here.
// clang-format off
#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>
#include <iphlpapi.h>
// clang-format on

#include <cstring>
#include <vector>

#include "http/peer.h"
#include "http/view.h"

namespace {

using tcp = boost::asio::ip::tcp;

// A row's ends as endpoints: IPv4 rows hold the address as a DWORD in
// network order, IPv6 rows as 16 bytes; ports in network order.
tcp::endpoint V4(DWORD address, DWORD port) {
  boost::asio::ip::address_v4::bytes_type bytes;
  std::memcpy(bytes.data(), &address, bytes.size());
  return {boost::asio::ip::address_v4(bytes), ntohs(static_cast<u_short>(port))};
}
tcp::endpoint V6(const UCHAR* address, DWORD port) {
  boost::asio::ip::address_v6::bytes_type bytes;
  std::memcpy(bytes.data(), address, bytes.size());
  return {boost::asio::ip::address_v6(bytes), ntohs(static_cast<u_short>(port))};
}
tcp::endpoint LocalOf(const MIB_TCPROW_OWNER_PID& row) { return V4(row.dwLocalAddr, row.dwLocalPort); }
tcp::endpoint RemoteOf(const MIB_TCPROW_OWNER_PID& row) { return V4(row.dwRemoteAddr, row.dwRemotePort); }
tcp::endpoint LocalOf(const MIB_TCP6ROW_OWNER_PID& row) { return V6(row.ucLocalAddr, row.dwLocalPort); }
tcp::endpoint RemoteOf(const MIB_TCP6ROW_OWNER_PID& row) { return V6(row.ucRemoteAddr, row.dwRemotePort); }

// The process that owns the established connection from `from` to `to`
// among those of one family (`Table`), or 0.
template <class Table>
DWORD Owner(ULONG family, const tcp::endpoint& from, const tcp::endpoint& to) {
  std::vector<char> buffer;
  DWORD size = 0;
  DWORD result = ERROR_INSUFFICIENT_BUFFER;
  // The table can grow between asking its size and reading it.
  for (int tries = 0; tries < 4 && result == ERROR_INSUFFICIENT_BUFFER; ++tries) {
    buffer.resize(size);
    result = GetExtendedTcpTable(buffer.empty() ? nullptr : buffer.data(), &size, FALSE, family,
                                 TCP_TABLE_OWNER_PID_CONNECTIONS, 0);
  }
  if (result != NO_ERROR) return 0;
  const auto* table = reinterpret_cast<const Table*>(buffer.data());
  for (DWORD i = 0; i < table->dwNumEntries; ++i) {
    const auto& row = table->table[i];
    if (row.dwState == static_cast<DWORD>(MIB_TCP_STATE_ESTAB) && LocalOf(row) == from && RemoteOf(row) == to) {
      return row.dwOwningPid;
    }
  }
  return 0;
}

// The user of `process`'s token (a TOKEN_USER), or nothing.
std::vector<char> UserOf(HANDLE process) {
  HANDLE token = nullptr;
  if (!OpenProcessToken(process, TOKEN_QUERY, &token)) return {};
  DWORD size = 0;
  GetTokenInformation(token, TokenUser, nullptr, 0, &size);
  std::vector<char> user(size);
  if (size == 0 || !GetTokenInformation(token, TokenUser, user.data(), size, &size)) user.clear();
  CloseHandle(token);
  return user;
}

}  // namespace

bool OwnUser(const tcp::socket& socket) {
  tcp::endpoint local, remote;
  if (!Ends(socket, local, remote)) return false;
  // The peer's row: from this connection's remote end to its local one.
  const DWORD pid = remote.address().is_v6() ? Owner<MIB_TCP6TABLE_OWNER_PID>(AF_INET6, remote, local)
                                             : Owner<MIB_TCPTABLE_OWNER_PID>(AF_INET, remote, local);
  if (pid == 0) return false;  // under Wine, a Linux program is no Windows process
  const HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid);
  if (process == nullptr) return false;
  const std::vector<char> peer = UserOf(process);
  CloseHandle(process);
  const std::vector<char> own = UserOf(GetCurrentProcess());
  return !peer.empty() && !own.empty() &&
         EqualSid(reinterpret_cast<const TOKEN_USER*>(peer.data())->User.Sid,
                  reinterpret_cast<const TOKEN_USER*>(own.data())->User.Sid);
}

bool OtherUsersTold() { return false; }

int MaxConnections() { return kMaxConnections; }
