// braxen-tool tb compress and tb decode: compress a table file, and check
// (and time) the decoding of a compressed one.
#include <unistd.h>

#include <chrono>
#include <ctime>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

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
