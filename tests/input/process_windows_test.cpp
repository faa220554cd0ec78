// Windows: the command line the export starts ffmpeg with is split back
// into the same arguments, whatever they hold.
#include <windows.h>

#include <shellapi.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "input/process.h"

namespace {

std::vector<std::wstring> Split(const std::wstring& line) {
  int count = 0;
  wchar_t** split = CommandLineToArgvW(line.c_str(), &count);
  std::vector<std::wstring> arguments(split, split + count);
  LocalFree(split);
  return arguments;
}

TEST(ProcessWindows, TheCommandLineSplitsBackIntoTheArguments) {
  const std::vector<std::wstring> cases[] = {
      {L"plain", L"-y", L"file:C:\\out\\clip.gif"},
      {L"with space", L"two  spaces", L" leading", L"trailing ", L"tab\there", L"new\nline"},
      {L"", L"", L"between empties", L""},
      {L"\"quoted\"", L"in\"side", L"\\\"", L"\\\\\"", L"\"\"", L"\""},
      {L"trailing\\", L"trailing space\\", L"two\\\\", L"C:\\a b\\", L"\\\\host\\share\\", L"\\"},
      {L"$(touch p)", L"`touch p`", L"a&b|c<d>e^f", L"%OS%", L"!x!", L"'single'", L"a;b,c=d"},
      {L"file:-clip.mp4", L"-", L"--", L"\u00e9\u4e16"},
  };
  for (const auto& arguments : cases) {
    std::vector<std::wstring> all = {L"C:\\Program Files\\ffmpeg\\bin\\ffmpeg.exe"};
    all.insert(all.end(), arguments.begin(), arguments.end());
    const std::wstring line = CommandLine(all);
    EXPECT_EQ(Split(line), all) << "command line: " << line;
  }
}

}  // namespace
