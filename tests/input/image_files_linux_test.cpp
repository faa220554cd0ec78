// Linux: what is not a regular file is refused at once, whatever the name
// leads to, and a file that grows while it is read is read no further than
// one byte past the limit.
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <fstream>
#include <future>
#include <memory>
#include <optional>
#include <string>
#include <thread>

#include "input/image_files.h"
#include "temp_folder.h"

namespace {

// ReadImageFile on a thread of its own, given 10 s: nullopt if it has not
// returned by then (the thread is left behind, and ends with the process).
std::optional<ImageFile> ReadWithin10s(const std::string& folder, const std::string& path) {
  auto promise = std::make_shared<std::promise<ImageFile>>();
  auto future = promise->get_future();
  std::thread([promise, folder, path] { promise->set_value(ReadImageFile(folder, path)); }).detach();
  if (future.wait_for(std::chrono::seconds(10)) != std::future_status::ready) return std::nullopt;
  return future.get();
}

// The bytes this process has read so far, all threads together (reading
// /proc/self/io for it counts too: a few hundred bytes).
long long BytesRead() {
  std::ifstream io("/proc/self/io");
  std::string key;
  long long value = 0;
  while (io >> key >> value) {
    if (key == "rchar:") return value;
  }
  return -1;
}

TEST(ImageFilesLinux, ALinkToADeviceIsRefusedAtOnce) {
  const TempFolder folder;
  ASSERT_EQ(symlink("/dev/zero", (folder / "zero.png").c_str()), 0);
  const auto file = ReadWithin10s(folder.path(), "zero.png");
  ASSERT_TRUE(file) << "reading a link to /dev/zero did not return within 10 s";
  EXPECT_EQ(file->error, "not a regular file");
  EXPECT_EQ(file->bytes.size(), 0u);
}

TEST(ImageFilesLinux, AFifoIsRefusedAtOnce) {
  const TempFolder folder;
  ASSERT_EQ(mkfifo((folder / "fifo.png").c_str(), 0600), 0);
  const auto file = ReadWithin10s(folder.path(), "fifo.png");
  ASSERT_TRUE(file) << "reading a FIFO with no writer did not return within 10 s";
  EXPECT_EQ(file->error, "not a regular file");
}

// A writer appends to the file while it is being read, from 512 KiB below
// the limit to 16 MiB past it: the read must stop one byte past the limit.
// Whether the file passes the limit before the read ends is a race (though
// the writer nearly always wins it), so the test runs three times over.
TEST(ImageFilesLinux, AGrowingFileIsReadNoFurtherThanOneBytePastTheLimit) {
  for (int round = 0; round < 3; ++round) {
    const TempFolder folder;
    const std::string path = folder / "growing.png";
    std::string start(kMaxImageFileBytes - (size_t{1} << 19), '\0');
    start.replace(0, 8, "\x89PNG\r\n\x1a\n");
    std::ofstream(path, std::ios::binary).write(start.data(), static_cast<std::streamsize>(start.size()));
    std::atomic<bool> reading{true};
    std::thread writer([&] {
      std::ofstream out(path, std::ios::binary | std::ios::app);
      const std::string chunk(size_t{1} << 20, 'x');
      const size_t end = kMaxImageFileBytes + (size_t{16} << 20);
      for (size_t size = start.size(); reading && size < end; size += chunk.size()) {
        out.write(chunk.data(), static_cast<std::streamsize>(chunk.size())).flush();
      }
    });
    const long long before = BytesRead();
    const ImageFile file = ReadImageFile(folder.path(), "growing.png");
    const long long read = BytesRead() - before;
    reading = false;
    writer.join();
    constexpr long long kSlack = 4096;  // far less than one of the writer's appends
    EXPECT_LE(read, static_cast<long long>(kMaxImageFileBytes) + 1 + kSlack) << "bytes read, round " << round;
    EXPECT_LE(file.bytes.size(), kMaxImageFileBytes);
    if (!file.error.empty()) {
      EXPECT_EQ(file.error, "larger than 32 MiB");
    }
  }
}

}  // namespace
