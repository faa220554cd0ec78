// Image files read for the display host: names resolved against the images
// folder, and only regular files of a known type and at most 32 MiB, read whole.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "input/image_files.h"
#include "temp_folder.h"

namespace {

const std::string kPng = "\x89PNG\r\n\x1a\n";

// A PNG signature followed by zeros, `size` bytes in all.
std::string PngOfSize(size_t size) {
  std::string bytes(size, '\0');
  bytes.replace(0, kPng.size(), kPng);
  return bytes;
}

TEST(ImageFiles, AFileOfExactlyTheLimitIsReadWhole) {
  const TempFolder folder;
  const std::string bytes = PngOfSize(kMaxImageFileBytes);
  folder.Write("limit.png", bytes);
  const ImageFile file = ReadImageFile(folder.path(), "limit.png");
  EXPECT_EQ(file.error, "");
  EXPECT_EQ(file.type, "image/png");
  EXPECT_EQ(file.bytes.size(), kMaxImageFileBytes);
  EXPECT_TRUE(file.bytes == bytes) << "the bytes read differ from the file's";
}

TEST(ImageFiles, OneByteOverTheLimitIsRefused) {
  const TempFolder folder;
  folder.Write("over.png", PngOfSize(kMaxImageFileBytes + 1));
  const ImageFile file = ReadImageFile(folder.path(), "over.png");
  EXPECT_EQ(file.error, "larger than 32 MiB");
  EXPECT_EQ(file.bytes.size(), 0u);
}

TEST(ImageFiles, RelativePathsResolveAgainstTheFolder) {
  const TempFolder folder;
  std::filesystem::create_directories(folder / "images");
  const std::string where = folder.Write("images/logo.gif", "GIF89a and the rest");
  const std::string expected = std::filesystem::path(where).lexically_normal().string();
  for (const std::string name : {"images/logo.gif", "images/../images/./logo.gif", "./images//logo.gif"}) {
    const ImageFile file = ReadImageFile(folder.path(), name);
    EXPECT_EQ(file.path, expected) << name;
    EXPECT_EQ(file.error, "") << name;
    EXPECT_EQ(file.bytes, "GIF89a and the rest") << name;
  }
  // An absolute path is taken as it is, whatever the folder.
  const ImageFile file = ReadImageFile(folder / "elsewhere", where);
  EXPECT_EQ(file.path, expected);
  EXPECT_EQ(file.error, "");
}

TEST(ImageFiles, OnlyPngJpegBmpAndGifByTheirFirstBytes) {
  const TempFolder folder;
  const std::pair<std::string, std::string> cases[] = {
      {kPng + "rest", "image/png"}, {"\xff\xd8\xff\xe0", "image/jpeg"}, {"BM\x36\x00", "image/bmp"},
      {"GIF87a", "image/gif"},      {"GIF89a", "image/gif"},
  };
  for (const auto& [bytes, type] : cases) {
    folder.Write("image", bytes);
    const ImageFile file = ReadImageFile(folder.path(), "image");
    EXPECT_EQ(file.error, "") << type;
    EXPECT_EQ(file.type, type);
    EXPECT_EQ(file.bytes, bytes) << type;
  }
  for (const std::string bytes : {"", "<svg/>", "\x89PNG", "GIF90a", "B"}) {
    folder.Write("image", bytes);
    const ImageFile file = ReadImageFile(folder.path(), "image");
    EXPECT_EQ(file.error, "not a PNG, JPEG, BMP or GIF file") << bytes;
    EXPECT_EQ(file.bytes, "") << bytes;
    EXPECT_EQ(file.type, "") << bytes;
  }
}

TEST(ImageFiles, MissingFilesAndFoldersAreRefused) {
  const TempFolder folder;
  std::filesystem::create_directories(folder / "images");
  EXPECT_EQ(ReadImageFile(folder.path(), "missing.png").error, "no such file");
  EXPECT_EQ(ReadImageFile(folder.path(), "missing/logo.png").error, "no such file");
  EXPECT_EQ(ReadImageFile(folder.path(), "images").error, "not a regular file");
}

}  // namespace
