// Windows: device namespace and network paths are refused by name, with
// either slash, and a name that opens a device is refused by what its handle is.
#include <gtest/gtest.h>

#include <string>

#include "input/image_files.h"
#include "temp_folder.h"

namespace {

TEST(ImageFilesWindows, DevicePathsAreRefused) {
  const TempFolder folder;
  const std::string file = folder.Write("logo.png", "\x89PNG\r\n\x1a\n");
  const std::string paths[] = {R"(\\.\pipe\VesprinePipe)", R"(\\.\NUL)", R"(\\.\C:)", "//./NUL", R"(\\?\)" + file,
                               "//?/" + file, R"(\/.\NUL)", R"(/\?/NUL)"};
  for (const std::string& path : paths) {
    const ImageFile image = ReadImageFile(folder.path(), path);
    EXPECT_EQ(image.error, "a device path, not a file") << path;
    EXPECT_EQ(image.bytes, "") << path;
  }
  // The same file by its ordinary name is read.
  EXPECT_EQ(ReadImageFile(folder.path(), "logo.png").error, "");
}

// Opening a share would offer it the user's credentials; the NT prefix
// (\??\ and a path) reaches devices and shares alike.
TEST(ImageFilesWindows, NetworkAndNtPrefixPathsAreRefused) {
  const TempFolder folder;
  const std::string file = folder.Write("logo.png", "\x89PNG\r\n\x1a\n");
  const std::pair<std::string, std::string> cases[] = {
      {R"(\\host\share\logo.png)", "a network path, not a local file"},
      {"//host/share/logo.png", "a network path, not a local file"},
      {R"(\/host/share\logo.png)", "a network path, not a local file"},
      {R"(/\127.0.0.1\c$\logo.png)", "a network path, not a local file"},
      {R"(\\host)", "a network path, not a local file"},
      {R"(\??\)" + file, "a device path, not a file"},
      {R"(/??/)" + file, "a device path, not a file"},
      {R"(\??\UNC\host\share\logo.png)", "a device path, not a file"},
  };
  for (const auto& [path, error] : cases) {
    const ImageFile image = ReadImageFile(folder.path(), path);
    EXPECT_EQ(image.error, error) << path;
    EXPECT_EQ(image.bytes, "") << path;
  }
}

// NUL opens the null device in any folder.
TEST(ImageFilesWindows, ADeviceOpenedByAnOrdinaryNameIsRefusedByItsHandle) {
  const TempFolder folder;
  EXPECT_EQ(ReadImageFile(folder.path(), "NUL").error, "not a regular file");
}

}  // namespace
