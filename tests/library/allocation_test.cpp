// Windows: a log line longer than a record is framed in a heap buffer. With
// the process's address space used up none can be had: nothing is written,
// the command reports 0 and the connection stays usable.
#include <cstdlib>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "VesprineDovetide.h"
#include "messages.h"
#include "test_server.h"

namespace {

TEST(Allocation, LogLineWithoutMemoryIsNotSent) {
  Dispose();
  TestServer server;
  const std::string line(65535, 'a');
  ASSERT_EQ(LogI("before"), 1);

  std::vector<void*> hoard;
  hoard.reserve(1 << 20);
  for (size_t size = size_t{256} << 20; size >= 16; size /= 2) {
    while (hoard.size() < hoard.capacity()) {
      void* block = std::malloc(size);
      if (block == nullptr) break;
      hoard.push_back(block);
    }
  }
  const int32_t result = LogI(line.c_str());
  for (void* block : hoard) std::free(block);

  EXPECT_EQ(result, 0);
  EXPECT_EQ(LogI("after"), 1);
  for (const char* expected : {"before", "after"}) {
    const auto message = server.Next();
    ASSERT_TRUE(message);
    EXPECT_TRUE(SameMessage(*message, LogMessage(22, expected)));
  }
  Dispose();
}

}  // namespace
