// Windows: clients that open the pipe at the same moment, write and leave
// before the monitor has taken their instances are all read (a short
// program run with --record is started just then).
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <string>
#include <vector>

#include "input/server.h"
#include "protocol/protocol.h"

TEST(ServeWindows, ClientsGoneBeforeTheirInstancesAreTakenAreRead) {
  constexpr int kClients = 8;  // as many as open the pipe at the same moment unrefused
  std::vector<std::string> sent, read;
  std::atomic<size_t> count{0};
  const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  ServeHandlers handlers;
  handlers.message = [&](int64_t, const uint8_t* bytes, size_t stored, size_t) {
    read.emplace_back(reinterpret_cast<const char*>(bytes), stored);
    ++count;
    return true;
  };
  handlers.idle = [] {};
  // The name is served and no instance taken yet: the clients come and go now.
  handlers.ready = [&] {
    std::vector<HANDLE> clients;
    for (int i = 0; i < kClients; ++i) {
      clients.push_back(CreateFileA(kPipeName, GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr));
      EXPECT_NE(clients.back(), INVALID_HANDLE_VALUE) << "client " << i << ": error " << GetLastError();
    }
    for (size_t i = 0; i < clients.size(); ++i) {
      for (const char* message : {"first of ", "last of "}) {
        sent.push_back(message + std::to_string(i));
        DWORD written = 0;
        EXPECT_TRUE(WriteFile(clients[i], sent.back().data(), DWORD(sent.back().size()), &written, nullptr))
            << "client " << i << ": error " << GetLastError();
      }
      CloseHandle(clients[i]);
    }
  };
  handlers.done = [&] { return count == sent.size() || std::chrono::steady_clock::now() > end; };
  ASSERT_EQ(Serve(handlers), ServeResult::kStopped);
  std::sort(sent.begin(), sent.end());
  std::sort(read.begin(), read.end());
  EXPECT_EQ(read, sent);
}
