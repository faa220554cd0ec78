// Session files: what is written reads back the same, and a file that is cut
// off, of another kind or version, or corrupt gives its error, naming the
// offset, after the entries before it.
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "protocol/protocol.h"
#include "input/session.h"

namespace {

struct Read {
  std::vector<SessionEntry> entries;
  std::string error;  // from Start or from the entry that stopped the reading
};

Read ReadAll(const std::string& bytes) {
  std::istringstream in(bytes);
  SessionReader reader(in);
  Read read;
  if (!reader.Start(read.error)) return read;
  SessionEntry entry;
  while (reader.Next(entry, read.error)) read.entries.push_back(entry);
  return read;
}

class SessionTest : public testing::Test {
 protected:
  // Writes the entries below to a file and returns its bytes.
  std::string Written() {
    {
      SessionWriter writer;
      std::string error;
      EXPECT_TRUE(writer.Open(path, error)) << error;
      writer.Add(SessionEntry::kJoined, 1, 1000, nullptr, 0, 0);
      const std::vector<uint8_t> pixel = {1, 0, 0, 0, 1, 0, 0, 0};
      writer.Add(SessionEntry::kMessage, 1, 1500, pixel.data(), pixel.size(), pixel.size());
      writer.Add(SessionEntry::kMessage, 2, 1600, nullptr, 0, 0);
      writer.Add(SessionEntry::kMessage, 2, 1700, oversized.data(), oversized.size(), 70000);
      writer.Add(SessionEntry::kLeft, 1, 2000, nullptr, 0, 0);
      writer.Add(SessionEntry::kMessage, 2, 2100, last.data(), last.size(), last.size());
    }
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }

  void TearDown() override { std::remove(path.c_str()); }

  std::string path = testing::TempDir() + "vesprine-session-test";
  std::vector<uint8_t> oversized = std::vector<uint8_t>(kMaxMessageSize + 1, 'o');
  std::vector<uint8_t> last = std::vector<uint8_t>(100, 'l');
};

TEST_F(SessionTest, WhatIsWrittenReadsBackTheSame) {
  const Read read = ReadAll(Written());
  EXPECT_EQ(read.error, "");
  ASSERT_EQ(read.entries.size(), 6u);
  EXPECT_EQ(read.entries[0].kind, SessionEntry::kJoined);
  EXPECT_EQ(read.entries[0].time, 1000);
  EXPECT_EQ(read.entries[1].bytes, (std::vector<uint8_t>{1, 0, 0, 0, 1, 0, 0, 0}));
  EXPECT_EQ(read.entries[2].client, 2);
  EXPECT_TRUE(read.entries[2].bytes.empty());
  EXPECT_EQ(read.entries[3].length, 70000u);
  EXPECT_EQ(read.entries[3].bytes, oversized);
  EXPECT_EQ(read.entries[4].kind, SessionEntry::kLeft);
  EXPECT_EQ(read.entries[5].bytes, last);
}

TEST_F(SessionTest, AFileCutAnywhereInItsLastEntryGivesTheEntriesBeforeIt) {
  const std::string bytes = Written();
  const size_t start = bytes.size() - kEntryHeadSize - last.size();
  for (size_t cut = start + 1; cut < bytes.size(); ++cut) {
    const Read read = ReadAll(bytes.substr(0, cut));
    ASSERT_EQ(read.entries.size(), 5u) << cut;
    EXPECT_NE(read.error.find("cut off inside the entry at offset " + std::to_string(start)), std::string::npos)
        << cut << ": " << read.error;
  }
  EXPECT_EQ(ReadAll(bytes.substr(0, start)).error, "");
}

TEST_F(SessionTest, OtherFilesVersionsAndCorruptEntriesAreRefusedWithTheirOffset) {
  std::string bytes = Written();
  EXPECT_EQ(ReadAll("").error, "not a vesprine-monitor session: no session magic at offset 0");
  EXPECT_EQ(ReadAll("PNG\r\n\x1a\n....").error, "not a vesprine-monitor session: no session magic at offset 0");
  EXPECT_EQ(ReadAll(bytes.substr(0, 10)).error, "the session ends inside its header, at offset 10");
  std::string version = bytes;
  version[8] = 2;
  EXPECT_EQ(ReadAll(version).error, "a session of version 2 (at offset 8); this monitor reads version 1");

  // The second entry's head: kind, client, time, length, size.
  const size_t second = kSessionHeaderSize + kEntryHeadSize;
  const auto patch = [&](size_t field, uint32_t value) {
    std::string copy = bytes;
    std::memcpy(copy.data() + second + field, &value, sizeof(value));
    return ReadAll(copy);
  };
  for (const Read& read : {patch(0, 7), patch(16, 4), patch(20, 9), patch(20, 0x7FFFFFFF), patch(16, 0x7FFFFFFF)}) {
    EXPECT_EQ(read.entries.size(), 1u);
    EXPECT_NE(read.error.find("the entry at offset " + std::to_string(second)), std::string::npos) << read.error;
  }
  EXPECT_NE(patch(0, 7).error.find("unknown kind 7"), std::string::npos);
}

TEST(SessionWriter, AFileThatCannotBeWrittenIsSaid) {
  SessionWriter writer;
  std::string error;
  EXPECT_FALSE(writer.Open(testing::TempDir() + "no-such-folder/session", error));
  EXPECT_NE(error.find("cannot write the session to"), std::string::npos);
  writer.Add(SessionEntry::kJoined, 1, 0, nullptr, 0, 0);  // does nothing
}

}  // namespace
