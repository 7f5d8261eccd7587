#include <gtest/gtest.h>

#include <map>

#include "prefs/prefsfile.h"
#include "base/bytes.h"
#include "support/app_fixture.h"

class PrefsFileTest : public AppFixture {};

namespace {
// Entries as written: id → (type, raw payload).
std::vector<uint8_t> Entry(uint16_t id, uint16_t type, uint32_t count, std::vector<uint8_t> payload) {
  std::vector<uint8_t> e(8);
  StoreBE16(e.data(), id);
  StoreBE16(e.data() + 2, type);
  StoreBE32(e.data() + 4, count);
  e.insert(e.end(), payload.begin(), payload.end());
  return e;
}
std::vector<uint8_t> Join(std::initializer_list<std::vector<uint8_t>> parts) {
  std::vector<uint8_t> out;
  for (auto& p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}
}  // namespace

TEST_F(PrefsFileTest, MissingFileIsWrittenFromDefaults) {
  const std::string path = FreshDir("prefs-missing") + "TavelinMarvet Prefs";
  int writes = 0;
  auto write = [&](UiState* st, Stream& s) {
    ++writes;
    return Ui_Prefs_WriteInt16(st, s, 70, 13);
  };
  auto read = [&](UiState*, uint16_t, const PrefsData&) { return kOk; };
  ASSERT_EQ(Ui_Prefs_ReadAll(state_, path, 131, read, write), 0);
  EXPECT_EQ(writes, 1);
  std::vector<uint8_t> bytes;
  ASSERT_TRUE(ReadFileBytes(path, bytes));
  const std::vector<uint8_t> expect = Join({Entry(0, 2, 1, {0, 0, 0, 1}), Entry(70, 1, 1, {0, 13}), Entry(1, 0, 0, {})});
  EXPECT_EQ(bytes, expect);
}

TEST_F(PrefsFileTest, ReadsEveryEntryInMemoryForm) {
  const std::string path = FreshDir("prefs-read") + "p";
  const std::vector<uint8_t> file = Join({Entry(0, 2, 1, {0, 0, 0, 1}), Entry(51, 1, 2, {0xFF, 0xFE, 0, 7}),
                                          Entry(54, 3, 1, {0x01, 0x40, 0, 0}), Entry(55, 0, 1, {1}),
                                          Entry(60, 4, 1, {0x01, 0x07, 0xA1, 0x20}), Entry(1, 0, 0, {})});
  WriteFileBytes(path, file.data(), file.size());
  std::vector<uint16_t> ids;
  std::map<uint16_t, PrefsData> seen;
  auto read = [&](UiState*, uint16_t id, const PrefsData& d) {
    ids.push_back(id);
    seen[id] = d;
    return kOk;
  };
  ASSERT_EQ(Ui_Prefs_ReadAll(state_, path, 131, read, nullptr), 0);
  EXPECT_EQ(ids, (std::vector<uint16_t>{0, 51, 54, 55, 60, 1}));
  EXPECT_EQ(seen[51].Int16(0), -2);
  EXPECT_EQ(seen[51].Int16(1), 7);
  EXPECT_EQ(seen[54].Float(0), 1.0f);
  EXPECT_EQ(seen[55].Bytes()[0], 1);
  EXPECT_FLOAT_EQ(seen[60].Float(0), 1.0f);  // decimal form 500000 × 2^1
  EXPECT_EQ(seen[55].block.size(), 4u);      // padded for readers of another form
}

TEST_F(PrefsFileTest, DamagedFilesFail) {
  const std::string dir = FreshDir("prefs-damaged");
  struct Case {
    const char* name;
    std::vector<uint8_t> bytes;
    Status status;
  };
  const Case cases[] = {
      {"no end", Join({Entry(0, 2, 1, {0, 0, 0, 1}), Entry(55, 0, 1, {1})}), kReadErr},
      {"version count", Join({Entry(0, 2, 2, {0, 0, 0, 1, 0, 0, 0, 1}), Entry(1, 0, 0, {})}), kFormatErr},
      {"bad type", Join({Entry(0, 2, 1, {0, 0, 0, 1}), Entry(55, 5, 1, {1}), Entry(1, 0, 0, {})}), kFormatErr},
      {"huge count", Join({Entry(0, 2, 1, {0, 0, 0, 1}), Entry(55, 2, 0xFFFFFFFF, {1}), Entry(1, 0, 0, {})}), kFormatErr},
      {"short data", Join({Entry(0, 2, 1, {0, 0, 0, 1}), Entry(62, 3, 24, {1, 2, 3})}), kReadErr},
      {"empty", {}, kReadErr},
  };
  for (const Case& c : cases) {
    const std::string path = dir + c.name;
    WriteFileBytes(path, c.bytes.data(), c.bytes.size());
    auto read = [](UiState*, uint16_t, const PrefsData&) { return kOk; };
    EXPECT_EQ(Ui_Prefs_ReadAll(state_, path, 131, read, nullptr), c.status) << c.name;
  }
  // A callback failure ends the reading with its status.
  const std::string path = dir + "callback";
  const auto bytes = Join({Entry(0, 2, 1, {0, 0, 0, 1}), Entry(55, 0, 1, {1}), Entry(1, 0, 0, {})});
  WriteFileBytes(path, bytes.data(), bytes.size());
  int calls = 0;
  auto failing = [&](UiState*, uint16_t id, const PrefsData&) {
    ++calls;
    return id == 55 ? kFormatErr : kOk;
  };
  EXPECT_EQ(Ui_Prefs_ReadAll(state_, path, 131, failing, nullptr), kFormatErr);
  EXPECT_EQ(calls, 2);
}

TEST_F(PrefsFileTest, UnwritableFileFails) {
  auto write = [](UiState*, Stream&) { return kOk; };
  auto read = [](UiState*, uint16_t, const PrefsData&) { return kOk; };
  EXPECT_EQ(Ui_Prefs_ReadAll(state_, "/no/such/folder/p", 131, read, write), kOpenErr);
}

TEST_F(PrefsFileTest, EntryWritersRoundTrip) {
  std::vector<uint8_t> block(1024);
  MemStreamDesc desc;
  desc.buffer = block.data();
  desc.size = (int64_t)block.size();
  Stream s;
  ASSERT_EQ(StreamOpen(s, desc, kStreamUpdate), 0);
  ASSERT_EQ(Ui_Prefs_WriteText(state_, s, 75, "-zV", 20), 0);
  ASSERT_EQ(Ui_Prefs_WriteText(state_, s, 97, std::string(25, 'x'), 20), 0);
  const float floats[3] = {0.625f, 0.5f, 0.4f};
  ASSERT_EQ(Ui_Prefs_WriteEntry(state_, s, 104, kPrefsBinaryFloat, 3, floats), 0);
  ASSERT_EQ(Ui_Prefs_WriteEntry(state_, s, 105, kPrefsDecimalFloat, 3, floats), 0);
  StreamSeek(s, 0, 0);
  uint16_t id, type;
  uint32_t count;
  PrefsData d;
  ASSERT_EQ(Ui_Prefs_ReadEntry(s, id, type, count, &d), 0);
  EXPECT_EQ(std::string((const char*)d.Bytes()), "-zV");
  ASSERT_EQ(Ui_Prefs_ReadEntry(s, id, type, count, &d), 0);
  EXPECT_EQ(count, 20u);
  EXPECT_EQ(std::string((const char*)d.Bytes()), std::string(19, 'x'));
  ASSERT_EQ(Ui_Prefs_ReadEntry(s, id, type, count, nullptr), 0);  // skipped
  EXPECT_EQ(id, 104);
  ASSERT_EQ(Ui_Prefs_ReadEntry(s, id, type, count, &d), 0);
  EXPECT_EQ(id, 105);
  for (int i = 0; i < 3; ++i) EXPECT_NEAR(d.Float(i), floats[i], 1e-6);
}
