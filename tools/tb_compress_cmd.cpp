// braxen-tool tb compress, tb decode and tb bench: compress a table file,
// check (and time) the decoding of a compressed one, and time probes at
// random indices through a small cache.
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <ctime>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "engine/options.h"
#include "tablebase/tablebase.h"
#include "tablebase/tbdecode.h"
#include "tools/tb_compress.h"
#include "tools/tools.h"

namespace {

bool readWholeFile(const char* path, std::vector<uint8_t>& data) {
  FILE* f = std::fopen(path, "rb");
  if (!f) return false;
  data.clear();
  uint8_t buffer[1 << 16];
  size_t got;
  while ((got = std::fread(buffer, 1, sizeof buffer, f)) > 0) data.insert(data.end(), buffer, buffer + got);
  bool ok = !std::ferror(f);
  std::fclose(f);
  return ok;
}

// Written to a temporary file beside the target, synced and renamed over it.
bool writeFileSafely(const char* path, const std::vector<uint8_t>& data) {
  std::string temp = std::string(path) + ".tmp";
  FILE* f = std::fopen(temp.c_str(), "wb");
  if (!f) return false;
  bool ok = std::fwrite(data.data(), 1, data.size(), f) == data.size() && std::fflush(f) == 0 &&
            fsync(fileno(f)) == 0;
  ok = std::fclose(f) == 0 && ok;
  if (ok && std::rename(temp.c_str(), path) == 0) return true;
  std::remove(temp.c_str());
  return false;
}

int compressFile(const char* in, const char* out) {
  std::vector<uint8_t> data;
  if (!readWholeFile(in, data) || data.empty()) {
    std::fprintf(stderr, "braxen-tool tb compress: cannot read %s (or it is empty)\n", in);
    return 1;
  }
  TbCompressStats stats;
  std::vector<uint8_t> packed = tbCompress(data.data(), data.size(), TbCompressedBlockBits, &stats);
  if (!writeFileSafely(out, packed)) {
    std::fprintf(stderr, "braxen-tool tb compress: cannot write %s\n", out);
    return 1;
  }
  std::printf("%s: %llu bytes -> %s: %llu bytes (%.2f%%), %u blocks, %u raw\n", in,
              (unsigned long long)stats.inputBytes, out, (unsigned long long)stats.outputBytes,
              100.0 * double(stats.outputBytes) / double(stats.inputBytes), stats.blocks, stats.rawBlocks);
  std::printf("distances:");
  for (uint32_t d : stats.distances) std::printf(" %u", d);
  std::printf("\n");
  return 0;
}

// Decodes every block (rounds times), compares with the original when one
// is given, and reports the decoding speed.
int verifyFile(const char* path, const char* original, int rounds) {
  FILE* f = std::fopen(path, "rb");
  TbDecoder* decoder = nullptr;
  int code = f ? openCompressed(f, &decoder) : TbReadError;
  if (code != TbOk) {
    std::fprintf(stderr, "braxen-tool tb decode: %s: error %d\n", path, code);
    if (f) std::fclose(f);
    return 1;
  }
  std::vector<uint8_t> expected;
  if (original && !readWholeFile(original, expected)) {
    std::fprintf(stderr, "braxen-tool tb decode: cannot read %s\n", original);
    return 1;
  }
  bool same = !original || expected.size() == compressedByteCount(decoder);
  uint32_t blocks = compressedBlockCount(decoder);
  static uint8_t block[8228];
  auto start = std::chrono::steady_clock::now();
  std::clock_t cpuStart = std::clock();
  for (int round = 0; round < rounds && code == TbOk; round++) {
    for (uint32_t b = 0; b < blocks && code == TbOk; b++) {
      uint32_t size = 0;
      code = readCompressedBlock(decoder, f, b, block, &size);
      if (code == TbOk && original && same && round == 0)
        same = std::memcmp(block, expected.data() + uint64_t(b) * 8192, size) == 0;
    }
  }
  double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  double cpu = double(std::clock() - cpuStart) / CLOCKS_PER_SEC;
  double megabytes = double(compressedByteCount(decoder)) * rounds / 1e6;
  std::printf("%s: %u blocks, %llu bytes, %s%s\n", path, blocks,
              (unsigned long long)compressedByteCount(decoder), code == TbOk ? "decodes" : "broken",
              original ? (same ? ", identical to the original" : ", DIFFERS from the original") : "");
  std::printf("decoded %.1f MB in %.3f s (%.3f s of CPU): %.1f MB/s, %.1f MB/s of CPU\n", megabytes, seconds,
              cpu, seconds > 0 ? megabytes / seconds : 0.0, cpu > 0 ? megabytes / cpu : 0.0);
  closeCompressed(decoder);
  std::fclose(f);
  return code == TbOk && same ? 0 : 1;
}

// Probes at random indices of every registered table: with a cache far
// smaller than the tables most probes read (and decode) a block.
int benchProbes(const char* dir, long probes, uint32_t cacheMegabytes) {
  std::snprintf(tbPath, sizeof tbPath, "%s", dir);
  tbCacheBytes = cacheMegabytes << 20;
  if (!InitTablebases(true)) {
    std::fprintf(stderr, "braxen-tool tb bench: no tables in %s\n", dir);
    return 1;
  }
  struct Table {
    int classNo, side;
    uint64_t positions;
  };
  std::vector<Table> tables;
  uint64_t totalBytes = 0;
  for (int c = 1; c <= TbClassCount; ++c)
    for (int side = 0; side < 2; ++side)
      if (tbClasses[c].fileName[side][0] && !(tbClasses[c].flags & TbSplit)) {
        tables.push_back({c, side, tbClasses[c].positions[side]});
        totalBytes += tbClasses[c].positions[side];
      }
  uint64_t state = 88172645463325252ull, unknown = 0;
  auto start = std::chrono::steady_clock::now();
  std::clock_t cpuStart = std::clock();
  for (long i = 0; i < probes; ++i) {
    state ^= state << 13, state ^= state >> 7, state ^= state << 17;
    const Table& t = tables[state % tables.size()];
    unknown += probeClass(t.classNo, t.side, (state >> 16) % t.positions) == TbUnknown;
  }
  double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  double cpu = double(std::clock() - cpuStart) / CLOCKS_PER_SEC;
  std::printf("%zu tables, %.1f MB of entries, cache %u MB (%u blocks); %ld probes, %llu unknown\n",
              tables.size(), double(totalBytes) / 1e6, cacheMegabytes, unsigned(cacheMegabytes << 20) / 8260u, probes,
              (unsigned long long)unknown);
  std::printf("%.3f s (%.3f s of CPU): %.0f probes/s, %.0f probes/s of CPU\n", seconds, cpu,
              seconds > 0 ? double(probes) / seconds : 0.0, cpu > 0 ? double(probes) / cpu : 0.0);
  releaseTablebases();
  return 0;
}

}  // namespace

int tbCompressCommand(int argc, char** argv) {
  if (argc == 3) return compressFile(argv[1], argv[2]);
  std::fprintf(stderr, "usage: braxen-tool tb compress IN OUT.emd\n");
  return 2;
}

int tbDecodeCommand(int argc, char** argv) {
  if (argc >= 2 && argc <= 4) {
    int rounds = argc == 4 ? std::atoi(argv[3]) : 1;
    return verifyFile(argv[1], argc >= 3 ? argv[2] : nullptr, rounds > 0 ? rounds : 1);
  }
  std::fprintf(stderr, "usage: braxen-tool tb decode FILE.emd [ORIGINAL [ROUNDS]]\n");
  return 2;
}

int tbBenchCommand(int argc, char** argv) {
  if (argc >= 2 && argc <= 4) {
    long probes = argc >= 3 ? std::atol(argv[2]) : 1000000;
    int megabytes = argc == 4 ? std::atoi(argv[3]) : 1;
    return benchProbes(argv[1], probes > 0 ? probes : 1000000, uint32_t(megabytes > 0 ? megabytes : 1));
  }
  std::fprintf(stderr, "usage: braxen-tool tb bench DIR [PROBES [CACHE_MB]]\n");
  return 2;
}

bool tbCompressClassFiles(const char* dir, const char* className, bool replace) {
  initTbClasses();
  const int classNo = tbClassByName(className);
  if (classNo == 0) return false;
  const TbClass& c = tbClasses[classNo];
  for (int side = 0; side < ((c.flags & TbOneFile) ? 1 : 2); ++side)
    for (int part = 0; part < tbPartCount(c.flags, c.positions[side]); ++part) {
      char path[1024];
      tbFileName(path, sizeof path, dir, c.name, c.flags, part, side);
      const std::string packed = std::string(path) + ".emd";
      struct stat st{};
      if (!replace && stat(packed.c_str(), &st) == 0 && st.st_size > 0) continue;
      if (compressFile(path, packed.c_str()) != 0) return false;
    }
  return true;
}
