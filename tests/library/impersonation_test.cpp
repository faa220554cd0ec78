// Windows: whatever serves the pipe name may identify the host application
// but not act as it. The server impersonates its client after the first
// message and looks at the level its token allows. Wine grants every pipe
// server full impersonation whatever the client asks, so there the test is
// skipped; it runs on Windows itself.
#include <windows.h>

#include <thread>

#include <gtest/gtest.h>

#include "VesprineDovetide.h"

namespace {

bool UnderWine() { return GetProcAddress(GetModuleHandleA("ntdll.dll"), "wine_get_version") != nullptr; }

TEST(Impersonation, ServerGetsIdentificationLevelOnly) {
  if (UnderWine()) GTEST_SKIP() << "Wine ignores the client's impersonation level";
  Dispose();
  const HANDLE pipe = CreateNamedPipeA("\\\\.\\pipe\\VesprinePipe", PIPE_ACCESS_INBOUND,
                                       PIPE_TYPE_MESSAGE | PIPE_READMODE_MESSAGE | PIPE_WAIT, 1, 0, 65536, 0, nullptr);
  ASSERT_NE(pipe, INVALID_HANDLE_VALUE);
  SECURITY_IMPERSONATION_LEVEL level = SecurityDelegation;
  bool impersonated = false;
  std::thread server([&] {
    char message[128];
    DWORD got = 0;
    if ((!ConnectNamedPipe(pipe, nullptr) && GetLastError() != ERROR_PIPE_CONNECTED) ||
        !ReadFile(pipe, message, sizeof(message), &got, nullptr) || !ImpersonateNamedPipeClient(pipe)) {
      return;
    }
    HANDLE token = nullptr;
    DWORD size = 0;
    impersonated = OpenThreadToken(GetCurrentThread(), TOKEN_QUERY, TRUE, &token) &&
                   GetTokenInformation(token, TokenImpersonationLevel, &level, sizeof(level), &size);
    if (token != nullptr) CloseHandle(token);
    RevertToSelf();
  });
  EXPECT_EQ(DrawPixel(1, 2), 1);
  server.join();
  Dispose();
  CloseHandle(pipe);
  ASSERT_TRUE(impersonated) << "the server could not look at its client's token";
  EXPECT_EQ(level, SecurityIdentification);
}

}  // namespace
