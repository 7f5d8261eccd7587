#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "base/elements.h"
#include "base/stream.h"
#include "base/strings.h"
#include <cmath>
#include "support/scratch.h"

TEST(StreamTest, FileModes) {
  const std::string dir = FreshDir("stream-modes");
  Stream s;
  EXPECT_EQ(StreamOpen(s, dir + "a", 0), kBadArg);
  EXPECT_EQ(StreamOpen(s, dir + "a", 4), kBadArg);
  EXPECT_EQ(StreamOpen(s, dir + "missing", kStreamRead), kOpenErr);
  EXPECT_EQ(StreamOpen(s, dir + "no/such/folder/x", kStreamWrite), kOpenErr);

  ASSERT_EQ(StreamOpen(s, dir + "update", kStreamUpdate), 0);  // created
  ASSERT_EQ(StreamWriteAll(s, "hello world", 11), 0);
  ASSERT_EQ(StreamSeek(s, 6, 0), 0);
  ASSERT_EQ(StreamWriteAll(s, "WORLD", 5), 0);
  int64_t pos = 0;
  ASSERT_EQ(StreamTell(s, pos), 0);
  EXPECT_EQ(pos, 11);
  ASSERT_EQ(StreamClose(s), 0);
  EXPECT_FALSE(s.IsOpen());
  EXPECT_EQ(ReadFileText(dir + "update"), "hello WORLD");

  ASSERT_EQ(StreamOpen(s, dir + "update", kStreamUpdate), 0);  // existing kept
  char buf[32] = {};
  size_t n = sizeof buf;
  EXPECT_EQ(StreamRead(s, buf, n, false), 0);
  EXPECT_EQ(n, 11u);
  n = 4;
  EXPECT_EQ(StreamRead(s, buf, n, false), kReadErr);  // nothing left
  EXPECT_EQ(n, 0u);
  n = 0;
  EXPECT_EQ(StreamRead(s, buf, n, true), 0);  // asking for nothing succeeds
  StreamClose(s);

  int64_t size = 0;
  EXPECT_EQ(StreamFileSize(dir + "update", size), 0);
  EXPECT_EQ(size, 11);
  EXPECT_EQ(StreamRename(dir + "update", dir + "update"), 0);
  WriteFileText(dir + "other", "x");
  EXPECT_EQ(StreamRename(dir + "update", dir + "other"), 0);  // replaces
  EXPECT_EQ(ReadFileText(dir + "other"), "hello WORLD");
  EXPECT_EQ(StreamRename(dir + "update", dir + "third"), kSysErr);
  EXPECT_EQ(StreamDelete(dir + "other"), 0);
  EXPECT_EQ(StreamDelete(dir + "other"), kSysErr);
  EXPECT_EQ(StreamFileSize(dir + "other", size), kOpenErr);
}

TEST(StreamTest, MemoryStream) {
  std::vector<unsigned char> block(60, 7);
  MemStreamDesc desc;
  desc.buffer = block.data();
  desc.size = 60;
  Stream s;
  ASSERT_EQ(StreamOpen(s, desc, kStreamRead), 0);
  std::vector<unsigned char> out(100);
  size_t n = 100;
  EXPECT_EQ(StreamRead(s, out.data(), n, true), kReadErr);  // short exact read
  EXPECT_EQ(n, 60u);
  EXPECT_EQ(StreamSeek(s, 61, 0), kSysErr);
  EXPECT_EQ(StreamSeek(s, -1, 0), kSysErr);
  EXPECT_EQ(StreamSeek(s, -10, 2), 0);
  n = 100;
  EXPECT_EQ(StreamRead(s, out.data(), n, false), 0);
  EXPECT_EQ(n, 10u);

  // Written, the end is the high-water mark; writing past the buffer is short.
  ASSERT_EQ(StreamOpen(s, desc, kStreamWrite), 0);
  ASSERT_EQ(StreamWriteAll(s, "abcdef", 6), 0);
  ASSERT_EQ(StreamSeek(s, 0, 2), 0);
  int64_t pos = -1;
  StreamTell(s, pos);
  EXPECT_EQ(pos, 6);
  ASSERT_EQ(StreamSeek(s, 58, 0), 0);
  n = 5;
  EXPECT_EQ(StreamWrite(s, "12345", n), kWriteErr);
  EXPECT_EQ(n, 2u);
  EXPECT_EQ(s.high, 60);

  MemStreamDesc bad;
  bad.buffer = block.data();
  bad.size = 0;
  EXPECT_EQ(StreamOpen(s, bad, kStreamRead), kBadArg);
  bad.size = 4;
  bad.tag = 'x';
  EXPECT_EQ(StreamOpen(s, bad, kStreamRead), kBadArg);
  EXPECT_EQ(StreamDelete(""), kSysErr);
}

TEST(StreamTest, ReadLine) {
  struct Case {
    std::string bytes;
    size_t capacity;
    std::vector<std::string> lines;
  };
  const Case cases[] = {
      {"abc\r\ndef", 256, {"abc\n", "def\n"}},
      {"abc\rdef\rghi", 256, {"abc\n", "def\n", "ghi\n"}},
      {"abc\ndef\r\n", 256, {"abc\n", "def\n"}},
      {"a\n\nb", 256, {"a\n", "\n", "b\n"}},
      {"abcdefgh", 5, {"abc\n", "def\n", "gh\n"}},  // capacity − 2 characters per read
      {"ab\n\rcd", 256, {"ab\n", "cd\n"}},
  };
  for (const Case& c : cases) {
    std::string data = c.bytes;
    MemStreamDesc desc;
    desc.buffer = data.data();
    desc.size = (int64_t)data.size();
    Stream s;
    ASSERT_EQ(StreamOpen(s, desc, kStreamRead), 0);
    std::vector<std::string> lines;
    std::string line;
    while (StreamReadLine(s, line, c.capacity) == 0) lines.push_back(line);
    EXPECT_EQ(lines, c.lines) << c.bytes;
  }
  // The position after "abc\r\n" is at the d.
  std::string data = "abc\r\ndef";
  MemStreamDesc desc;
  desc.buffer = data.data();
  desc.size = (int64_t)data.size();
  Stream s;
  StreamOpen(s, desc, kStreamRead);
  std::string line;
  StreamReadLine(s, line, 256);
  int64_t pos = 0;
  StreamTell(s, pos);
  EXPECT_EQ(pos, 5);
}

TEST(StreamTest, WriteTextUsesCrLf) {
  const std::string path = FreshDir("stream-text") + "t.txt";
  Stream s;
  ASSERT_EQ(StreamOpen(s, path, kStreamWrite), 0);
  ASSERT_EQ(StreamWriteText(s, "one\ntwo\n"), 0);
  StreamClose(s);
  EXPECT_EQ(ReadFileText(path), "one\r\ntwo\r\n");
}

TEST(ElementsTest, FloatForms) {
  struct Case {
    float value;
    uint32_t binary;
  };
  const Case cases[] = {{0.0f, 0x00000000u}, {1.0f, 0x01400000u}, {-0.5f, 0x00C00000u}, {0.5f, 0x00400000u},
                        {-1.0f, 0x01C00000u}, {3.0f, 0x02600000u}};
  for (const Case& c : cases) {
    EXPECT_EQ(EncodeBinaryFloat(c.value), c.binary) << c.value;
    EXPECT_EQ(DecodeBinaryFloat(c.binary), c.value);
  }
  // The binary form keeps 23 bits of magnitude.
  for (float v : {0.8f, 1e-7f, -123.456f, 0.333333f, 65535.0f, 1e30f, -1e-30f})
    EXPECT_NEAR(DecodeBinaryFloat(EncodeBinaryFloat(v)), v, std::abs(v) * 0x1p-23) << v;
  // The decimal form keeps six decimal digits of the fraction.
  for (float v : {0.8f, 1.0f, -0.5f, 7.0f, 0.001234f, 42.42f})
    EXPECT_NEAR(DecodeDecimalFloat(EncodeDecimalFloat(v)), v, std::abs(v) * 2e-6) << v;
  EXPECT_EQ(EncodeDecimalFloat(1.0f), (1u << 24) | 500000u);
  EXPECT_EQ(EncodeDecimalFloat(0.9999999f) & 0xFFFFFFu, 999999u);  // limited
  EXPECT_EQ(EncodeBinaryFloat(std::nanf("")), 0u);
  EXPECT_EQ(DecodeBinaryFloat(0x00800000u), -8388607.0f / 8388608.0f);  // limited on reading
  EXPECT_GT(DecodeBinaryFloat(EncodeBinaryFloat(INFINITY)), 1e38f);
}

TEST(ElementsTest, TypedElementsAreBigEndian) {
  std::vector<unsigned char> block(32);
  MemStreamDesc desc;
  desc.buffer = block.data();
  desc.size = 32;
  Stream s;
  ASSERT_EQ(StreamOpen(s, desc, kStreamUpdate), 0);
  ASSERT_EQ(StreamWriteU8(s, 0xAB), 0);
  ASSERT_EQ(StreamWriteU16(s, 0x1234), 0);
  ASSERT_EQ(StreamWriteI32(s, -2), 0);
  ASSERT_EQ(StreamWriteBinaryFloat(s, 1.0f), 0);
  const unsigned char expect[] = {0xAB, 0x12, 0x34, 0xFF, 0xFF, 0xFF, 0xFE, 0x01, 0x40, 0x00, 0x00};
  EXPECT_EQ(std::memcmp(block.data(), expect, sizeof expect), 0);
  StreamSeek(s, 0, 0);
  uint8_t b;
  uint16_t h;
  int32_t i;
  float f;
  EXPECT_EQ(StreamReadU8(s, b), 0);
  EXPECT_EQ(StreamReadU16(s, h), 0);
  EXPECT_EQ(StreamReadI32(s, i), 0);
  EXPECT_EQ(StreamReadBinaryFloat(s, f), 0);
  EXPECT_EQ(b, 0xAB);
  EXPECT_EQ(h, 0x1234);
  EXPECT_EQ(i, -2);
  EXPECT_EQ(f, 1.0f);
  uint32_t w;
  EXPECT_EQ(StreamReadU32(s, w), kReadErr);  // past the high-water mark
}

TEST(TextTest, Helpers) {
  EXPECT_EQ(TextCompare(nullptr, "a"), -1000);
  EXPECT_EQ(TextCompare("a", nullptr), -1000);
  EXPECT_EQ(TextCompare("a", "a"), 0);
  char buf[4];
  TextCopyN(buf, "abcdef", sizeof buf);
  EXPECT_STREQ(buf, "abc");
  EXPECT_EQ(LeafName("/a/b/beach.tif"), "beach.tif");
  EXPECT_EQ(LeafName("beach.tif"), "beach.tif");
  EXPECT_EQ(FolderOf("/a/b/beach.tif"), "/a/b/");
  EXPECT_EQ(FolderOf("/beach.tif"), "/");
  EXPECT_EQ(FolderOf("beach.tif"), "");
  EXPECT_EQ(FolderOf("beach.tif", "./"), "./");
}
