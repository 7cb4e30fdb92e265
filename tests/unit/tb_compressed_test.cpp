// Compressed table files in the registry and the probe: every name a
// compressed file may have is found, every entry reads as in the
// uncompressed file (also through a cache far smaller than the table), and
// a broken compressed file is fatal at registration with its message in the
// error log.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "tablebase/tablebase.h"
#include "tb_codec_support.h"
#include "test_support.h"
#include "tools/tb_compress.h"

using namespace tbtest;

namespace {

void writeBytes(const std::string& path, const Bytes& b) {
  std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(b.data()),
                                              static_cast<std::streamsize>(b.size()));
}

// Stored values of a table: table-like bytes kept away from 127 ("no
// information"), so every entry is a result.
Bytes tableOf(int classNo, int side) {
  Bytes b = tableLikeData(tbClasses[classNo].positions[side], uint32_t(classNo * 2 + side));
  for (uint8_t& v : b)
    if (v == 127) v = 0;
  return b;
}

Bytes compressed(const Bytes& data, int blockBits = 13) {
  return tbCompress(data.data(), data.size(), blockBits, nullptr);
}

class CompressedTables : public TableFolders {
 protected:
  // Every entry of the class reads as stored.
  void expectEveryEntry(int classNo, const Bytes (&tables)[2], int sides = 2) {
    for (int side = 0; side < sides; ++side)
      for (uint64_t i = 0; i < tables[side].size(); ++i)
        ASSERT_EQ(probeClass(classNo, side, i), tbScoreOfByte(int8_t(tables[side][i])))
            << tbClasses[classNo].name << " side " << side << " index " << i;
  }
};

// kqk under each of its compressed names, and kqkr with White to move (214
// blocks) through a 1 MB cache of 126 blocks: every entry reads as stored.
TEST_F(CompressedTables, EveryNameAndEveryEntryReadsAsStored) {
  const int kqk = tbClassByName("kqk"), kqkr = tbClassByName("kqkr");
  const Bytes kqkTables[2] = {tableOf(kqk, 0), tableOf(kqk, 1)};
  const char* names[][2] = {{"kqk.nbw.emd", "kqk.nbb.emd"},
                            {"kqk_nbw.emd", "kqk_nbb.emd"},
                            {"kqk_nbw_emd", "kqk_nbb_emd"},
                            {"kqknbw.emd", "kqknbb.emd"}};
  for (const auto& pair : names) {
    SCOPED_TRACE(pair[0]);
    const std::string dir = folder(std::string("tb_") + pair[0]);
    for (int side = 0; side < 2; ++side) writeBytes(dir + "/" + pair[side], compressed(kqkTables[side]));
    registerPath(dir);
    ASSERT_EQ(tbFilesRegistered, 2u);
    expectEveryEntry(kqk, kqkTables);
    releaseTablebases();
  }

  const Bytes kqkrTables[2] = {tableOf(kqkr, 0), {}};
  const std::string dir = folder("tbBig");
  writeBytes(dir + "/kqkr.nbw.emd", compressed(kqkrTables[0]));
  tbCacheBytes = 1 << 20;
  registerPath(dir);
  ASSERT_EQ(tbMaxMen, 4);
  expectEveryEntry(kqkr, kqkrTables, 1);
}

// The short name stops at five men: a six-man file under it is not even
// opened, while a broken five-man file under it is.
TEST_F(CompressedTables, ShortNamesOnlyUpToFiveMen) {
  const std::string dir = folder("tbShort");
  writeBytes(dir + "/knnknnnbw.emd", Bytes(10, 0));
  registerPath(dir);
  EXPECT_EQ(tbMaxMen, 0);
  writeBytes(dir + "/kqknbw.emd", Bytes(10, 0));
  EXPECT_EXIT(registerPath(dir), testing::ExitedWithCode(1), "");
}

// Broken compressed files end the program at registration: status 1 and
// the message in the error log.
TEST_F(CompressedTables, BrokenFilesAreFatalWithTheirMessage) {
  const int kqk = tbClassByName("kqk");
  const Bytes table = tableOf(kqk, 0);
  const Bytes good = compressed(table);
  Bytes flipped = good;
  flipped[big32(good, 64) - 2] ^= 0x04;
  Bytes shortBy1 = table;
  shortBy1.pop_back();
  // message: after the folder name. A header cut short (a read error) is
  // checked end to end.
  struct Case { const char* name; Bytes file; std::string message; };
  const Case cases[] = {
      {"checksum bit flipped", flipped, "file broken\n*** Unable to read tbBroken/kqk.nbw.emd - 6 "},
      {"4096-byte blocks", compressed(table, 12), "*** tbBroken/kqk.nbw.emd: Unsupported block size 4096\n"},
      {"one entry missing", compressed(shortBy1), "*** tbBroken/kqk.nbw.emd corrupted "},
  };
  const std::string dir = folder("tbBroken");
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    writeBytes(dir + "/kqk.nbw.emd", c.file);
    remove("debug.txt");
    EXPECT_EXIT(registerPath(dir), testing::ExitedWithCode(1), "");
    EXPECT_NE(testsupport::fileText("debug.txt").find(c.message), std::string::npos) << testsupport::fileText("debug.txt");
  }
}

// A compressed file that loses its blocks after registration fails only
// its own probes, which become "no information", and is dropped.
TEST_F(CompressedTables, ATableLostAfterRegistrationIsDropped) {
  const int kqk = tbClassByName("kqk");
  const std::string dir = folder("tbLost");
  const Bytes file = compressed(tableOf(kqk, 0));
  writeBytes(dir + "/kqk.nbw.emd", file);
  registerPath(dir);
  ASSERT_EQ(tbFilesRegistered, 1u);
  ASSERT_EQ(truncate((dir + "/kqk.nbw.emd").c_str(), big32(file, 64)), 0);
  EXPECT_EQ(probeClass(kqk, 0, 0), TbUnknown);
  EXPECT_EQ(tbClasses[kqk].fileName[0][0], nullptr);
  EXPECT_EQ(tbClasses[kqk].decodeInfo[0][0], nullptr);
}

}  // namespace
