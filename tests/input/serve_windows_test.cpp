// Windows: a client that opens the pipe, writes and leaves before the
// monitor has taken its instance is read all the same (a short program run
// with --record is started just then).
#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <string>
#include <vector>

#include "input/server.h"
#include "protocol/protocol.h"

TEST(ServeWindows, AClientGoneBeforeItsInstanceIsTakenIsRead) {
  const std::vector<std::string> sent = {"first", "second", "third"};
  std::vector<std::string> read;
  std::atomic<size_t> count{0};
  const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  ServeHandlers handlers;
  handlers.message = [&](int64_t, const uint8_t* bytes, size_t stored, size_t) {
    read.emplace_back(reinterpret_cast<const char*>(bytes), stored);
    ++count;
    return true;
  };
  handlers.idle = [] {};
  // The name is served and no instance taken yet: the client comes and goes now.
  handlers.ready = [&] {
    const HANDLE pipe = CreateFileA(kPipeName, GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(pipe, INVALID_HANDLE_VALUE) << GetLastError();
    for (const std::string& message : sent) {
      DWORD written = 0;
      EXPECT_TRUE(WriteFile(pipe, message.data(), DWORD(message.size()), &written, nullptr)) << GetLastError();
    }
    CloseHandle(pipe);
  };
  handlers.done = [&] { return count == sent.size() || std::chrono::steady_clock::now() > end; };
  ASSERT_EQ(Serve(handlers), ServeResult::kStopped);
  EXPECT_EQ(read, sent);
}
