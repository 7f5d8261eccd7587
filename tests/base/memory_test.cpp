#include <gtest/gtest.h>

#include <cstring>

#include "base/memory.h"
#include "support/app_fixture.h"

using Kind = ScriptedHost::Kind;

class MemoryTest : public AppFixture {};

TEST_F(MemoryTest, LayoutAndCounters) {
  MemCounters before = MemGetCounters();
  unsigned char* p = static_cast<unsigned char*>(MemAlloc(10));
  ASSERT_NE(p, nullptr);
  MemCounters during = MemGetCounters();
  EXPECT_EQ(during.blocks, before.blocks + 1);
  EXPECT_EQ(during.bytes, before.bytes + 34);
  EXPECT_GE(during.peak, during.bytes);
  EXPECT_EQ(during.nextId, before.nextId + 1);
  EXPECT_EQ(std::memcmp(p - 16, "fire", 4), 0);
  EXPECT_EQ(std::memcmp(p - 12, "\0\0\0\x22", 4), 0);  // 34, big-endian
  EXPECT_EQ(std::memcmp(p - 4, "wall", 4), 0);
  EXPECT_EQ(std::memcmp(p + 10, "FIREWALL", 8), 0);
  EXPECT_EQ(MemFree(p), 0);
  MemCounters after = MemGetCounters();
  EXPECT_EQ(after.blocks, before.blocks);
  EXPECT_EQ(after.bytes, before.bytes);
  EXPECT_EQ(host().events.size(), 0u);

  unsigned char* z = static_cast<unsigned char*>(MemAlloc(0));  // one byte from the heap
  ASSERT_NE(z, nullptr);
  EXPECT_EQ(std::memcmp(z + 1, "FIREWALL", 8), 0);
  EXPECT_EQ(MemFree(z), 0);
  EXPECT_EQ(MemFree(nullptr), 0);
  EXPECT_EQ(MemAllocArray(SIZE_MAX / 2, 4), nullptr);
}

TEST_F(MemoryTest, OneByteOverrunIsReportedEvenWithDiagnosticsOff) {
  ClearLog();
  unsigned char* p = static_cast<unsigned char*>(MemAlloc(10));
  p[10] = 'x';
  EXPECT_EQ(MemCheck(p), 2);
  MemCounters before = MemGetCounters();
  EXPECT_EQ(MemFree(p), kSysErr);
  EXPECT_EQ(MemGetCounters().blocks, before.blocks - 1);  // released anyway
  std::string log = LogText();
  EXPECT_NE(log.find("Firewall Error:\nEnd firewall destroyed, size = 34, id = "), std::string::npos) << log;
  EXPECT_NE(log.find("remaining = \n*\nI\nR\nE\nW\nA\nL\nL\n"), std::string::npos) << log;
  auto messages = host().Of(Kind::Message);
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0].text, "Firewall failure!");
}

TEST_F(MemoryTest, DamagedHeaderNeverLeadsOutsideTheBlock) {
  // A start tag and a stored size smashed by an underrun: the check must use
  // the block's true size (AddressSanitizer catches any stray read here).
  ClearLog();
  unsigned char* p = static_cast<unsigned char*>(MemAlloc(8));
  std::memset(p - 16, 0xFF, 16);
  EXPECT_EQ(MemFree(p), kSysErr);
  std::string log = LogText();
  EXPECT_NE(log.find("Start firewall destroyed, size = -1"), std::string::npos) << log;
  EXPECT_NE(log.find("remaining = \n*\n*\n*\n*\n*\n*\n*\n*\n"), std::string::npos);
  EXPECT_EQ(log.find("End firewall destroyed"), std::string::npos);
  EXPECT_NE(log.find("Freeing too much"), std::string::npos);  // the stored size is huge

  // A pointer that is no live block is refused, not released.
  unsigned char* q = static_cast<unsigned char*>(MemAlloc(8));
  EXPECT_EQ(MemFree(q), 0);
  EXPECT_EQ(MemFree(q), kSysErr);
  EXPECT_EQ(host().Of(Kind::Message).back().text, "Firewall failure!");
}

TEST_F(MemoryTest, OwnerFreesItsBlock) {
  MemCounters before = MemGetCounters();
  {
    MemPtr<uint16_t[]> table = MemNewArray<uint16_t>(1000);
    ASSERT_TRUE(table);
    EXPECT_EQ(table[999], 0);
    EXPECT_EQ(MemGetCounters().blocks, before.blocks + 1);
  }
  EXPECT_EQ(MemGetCounters().blocks, before.blocks);
}
