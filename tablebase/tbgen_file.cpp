// Writing and reading generated table files at the indices of the class
// index functions.
#include "tablebase/tbgen_file.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <map>

#include "board/types.h"
#include "tablebase/tbclasses.h"

namespace {

// First list entry of each PieceType in an index function's square list.
constexpr int listStart[7] = {0, TbListPawn, TbListKnight, TbListBishop, TbListRook, TbListQueen, TbListKing};

void fillLists(const GenMaterial& mat, const GenSquares& sq, uint8_t* white, uint8_t* black) {
  std::memset(white, 0, 16);
  std::memset(black, 0, 16);
  int used[2][7] = {};
  for (int i = 0; i < mat.men; ++i) {
    const int c = mat.colour[i], t = mat.type[i];
    (c == White ? white : black)[listStart[t] + used[c][t]++] = sq.man[i];
  }
  white[TbListKing] = sq.king[White];
  black[TbListKing] = sq.king[Black];
}

uint64_t partEntries(const TbClass& cls) { return (cls.flags & TbTwoBytes) ? 1ull << 30 : 1ull << 31; }

int partsOf(const TbClass& cls, int side) {
  if (!(cls.flags & TbSplit)) return 1;
  return static_cast<int>((cls.positions[side] + partEntries(cls) - 1) / partEntries(cls));
}

std::string fileNameOf(const char* dir, const TbClass& cls, int side, int part) {
  char name[32];
  const char digit = static_cast<char>(part < 10 ? '0' + part : 'a' + part - 10);
  if (cls.flags & TbSplit)
    std::snprintf(name, sizeof name, "/%s.%c.%s", cls.name, digit, side == White ? "nbw" : "nbb");
  else
    std::snprintf(name, sizeof name, "/%s.%s", cls.name, side == White ? "nbw" : "nbb");
  return std::string(dir) + name;
}

uint64_t partBytes(const TbClass& cls, int side, int part) {
  const uint64_t entries = cls.positions[side];
  const uint64_t size = partEntries(cls);
  uint64_t n = entries;
  if (cls.flags & TbSplit) n = static_cast<uint64_t>(part + 1) * size <= entries ? size : entries - part * size;
  return n * ((cls.flags & TbTwoBytes) ? 2 : 1);
}

bool writeWhole(const std::string& name, const uint8_t* data, uint64_t bytes) {
  const std::string temp = name + ".tmp";
  const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  if (fd < 0) return false;
  uint64_t done = 0;
  while (done < bytes) {
    const ssize_t n = ::write(fd, data + done, std::min<uint64_t>(bytes - done, 1u << 30));
    if (n <= 0) break;
    done += static_cast<uint64_t>(n);
  }
  const bool ok = done == bytes && ::fsync(fd) == 0;
  if (::close(fd) != 0 || !ok || std::rename(temp.c_str(), name.c_str()) != 0) {
    std::remove(temp.c_str());
    return false;
  }
  return true;
}

// Pawnless positions whose kings share a long diagonal have two normal
// forms that index functions may number apart: every image is written.
bool kingsOnOneDiagonal(const GenSquares& sq) {
  const int a = sq.king[0], b = sq.king[1];
  const bool main = (a >> 3) == (a & 7) && (b >> 3) == (b & 7);
  const bool anti = (a >> 3) + (a & 7) == 7 && (b >> 3) + (b & 7) == 7;
  return main || anti;
}

GenSquares imageOf(const GenMaterial& mat, const GenSquares& sq, int symmetry) {
  const int mask = (symmetry & 1 ? 7 : 0) | (symmetry & 2 ? 56 : 0);
  auto map = [&](int s) {
    s ^= mask;
    return static_cast<uint8_t>(symmetry & 4 ? ((s & 7) << 3) | (s >> 3) : s);
  };
  GenSquares out = sq;
  for (int c = 0; c < 2; ++c) out.king[c] = map(sq.king[c]);
  for (int i = 0; i < mat.men; ++i) out.man[i] = map(sq.man[i]);
  return out;
}

struct Writer {
  const TbClass* cls;
  int side;
  bool twoBytes;
  std::vector<uint8_t> data;
  uint64_t unplaced = 0;

  void put(const GenMaterial& mat, const GenSquares& sq, int ep, uint8_t dist) {
    uint8_t white[16], black[16];
    fillLists(mat, sq, white, black);
    const uint64_t index = cls->indexFn[side](white, black, ep ? ep : TbNoEp, 0);
    if (index >= cls->positions[side]) {
      ++unplaced;
      return;
    }
    const int v = genStoredValue(dist, twoBytes);
    if (twoBytes) {
      data[2 * index] = static_cast<uint8_t>(v & 0xFF);
      data[2 * index + 1] = static_cast<uint8_t>((v >> 8) & 0xFF);
    } else {
      data[index] = static_cast<uint8_t>(v);
    }
  }
};

bool writeSide(const char* dir, const GenTable& table, const TbClass& cls, int side) {
  const GenMaterial& mat = table.mat;
  Writer w{&cls, side, (cls.flags & TbTwoBytes) != 0, {}, 0};
  const uint64_t entries = cls.positions[side];
  w.data.resize(entries * (w.twoBytes ? 2 : 1));
  for (uint64_t i = 0; i < entries; ++i) {
    if (w.twoBytes) {
      w.data[2 * i] = GenUnknownWord & 0xFF;
      w.data[2 * i + 1] = GenUnknownWord >> 8;
    } else {
      w.data[i] = GenUnknownByte;
    }
  }
  for (uint64_t node = 0; node < mat.baseSize; ++node) {
    if (!((table.legal[side][node / 64] >> (node % 64)) & 1)) continue;
    GenSquares sq;
    genDecode(mat, node, &sq);
    const uint8_t dist = table.dist[side][node];
    if (mat.pawns || !kingsOnOneDiagonal(sq)) {
      w.put(mat, sq, 0, dist);
      continue;
    }
    for (int symmetry = 0; symmetry < 8; ++symmetry) w.put(mat, imageOf(mat, sq, symmetry), 0, dist);
  }
  for (size_t i = 0; i < table.epKeys[side].size(); ++i) {
    const uint64_t key = table.epKeys[side][i];
    GenSquares sq;
    genDecode(mat, key / 4, &sq);
    const int q = sq.man[key % 4];
    w.put(mat, sq, side == White ? q + 8 : q - 8, table.epDist[side][i]);
  }
  if (w.unplaced) {
    std::fprintf(stderr, "tb generate: %s: %llu legal positions have no index\n", cls.name,
                 static_cast<unsigned long long>(w.unplaced));
    return false;
  }
  uint64_t offset = 0;
  for (int part = 0; part < partsOf(cls, side); ++part) {
    const uint64_t bytes = partBytes(cls, side, part);
    if (!writeWhole(fileNameOf(dir, cls, side, part), w.data.data() + offset, bytes)) return false;
    offset += bytes;
  }
  return true;
}

// ---- Reading ------------------------------------------------------------------------------

struct Mapping {
  const uint8_t* data = nullptr;
  uint64_t bytes = 0;
};

std::string readFolder;
std::map<std::string, Mapping> mappings;

const Mapping* mapFile(const std::string& name) {
  const auto it = mappings.find(name);
  if (it != mappings.end()) return it->second.data ? &it->second : nullptr;
  Mapping m;
  const int fd = ::open(name.c_str(), O_RDONLY);
  struct stat st{};
  if (fd >= 0 && ::fstat(fd, &st) == 0 && st.st_size > 0) {
    void* at = ::mmap(nullptr, static_cast<size_t>(st.st_size), PROT_READ, MAP_SHARED, fd, 0);
    if (at != MAP_FAILED) {
      m.data = static_cast<const uint8_t*>(at);
      m.bytes = static_cast<uint64_t>(st.st_size);
    }
  }
  if (fd >= 0) ::close(fd);
  mappings[name] = m;
  return m.data ? &mappings[name] : nullptr;
}

// The classes a generation reads, remembered by name: finding a class by
// its name and its file by its path costs more than reading the entry, and
// the captures and promotions of a class lead into only a few classes.
struct ClassMemo {
  char name[8];               // zero-padded, compared as a whole
  int cls;
  GenMaterial mat;
  const Mapping* file[2];     // part 0 of each side once looked up (nullptr: missing)
  bool looked[2];
};
ClassMemo classMemo[64];
int classMemoCount = 0;

ClassMemo* memoOf(const char* className) {
  char key[8] = {};
  if (std::strlen(className) >= sizeof key) return nullptr;
  std::memcpy(key, className, std::strlen(className));
  for (int i = 0; i < classMemoCount; ++i)
    if (std::memcmp(classMemo[i].name, key, sizeof key) == 0) return classMemo[i].cls ? &classMemo[i] : nullptr;
  if (classMemoCount == static_cast<int>(std::size(classMemo))) classMemoCount = 0;  // start over
  ClassMemo& k = classMemo[classMemoCount++];
  k = ClassMemo{};
  std::memcpy(k.name, key, sizeof key);
  k.cls = tbClassByName(className);
  if (k.cls != 0 && !genParseMaterial(className, &k.mat)) k.cls = 0;
  return k.cls ? &k : nullptr;
}

const Mapping* partFile(ClassMemo* k, const TbClass& cls, int side, int part) {
  if (part != 0) return mapFile(fileNameOf(readFolder.c_str(), cls, side, part));
  if (!k->looked[side]) {
    k->file[side] = mapFile(fileNameOf(readFolder.c_str(), cls, side, 0));
    k->looked[side] = true;
  }
  return k->file[side];
}

}  // namespace

int genStoredValue(uint8_t dist, bool twoBytes) {
  if (dist == GenDraw) return 0;
  const int moves = (dist + 1) / 2;
  if (dist % 2) {
    if (twoBytes) return 32767 - moves;
    return moves <= 126 ? 127 - moves : -128;
  }
  if (twoBytes) return moves - 32766;
  // A loss beyond 126 moves has no byte; the nearest loss stands in.
  return moves <= 125 ? moves - 126 : -127;
}

bool genDistanceOf(int stored, bool twoBytes, uint8_t* dist) {
  int plies;
  if (twoBytes) {
    const int t = static_cast<int16_t>(stored);
    if (t == GenUnknownWord) return false;
    plies = t == 0 ? -1 : t > 0 ? 2 * (32767 - t) - 1 : 2 * (t + 32766);
  } else {
    const int v = static_cast<int8_t>(stored);
    if (v == GenUnknownByte) return false;
    plies = v == 0 ? -1 : v == -128 ? 253 : v == -127 ? 252 : v > 0 ? 2 * (127 - v) - 1 : 2 * (v + 126);
  }
  if (plies > 254) return false;
  *dist = plies < 0 ? GenDraw : static_cast<uint8_t>(plies);
  return true;
}

std::vector<std::string> genClassesUpTo(int men) {
  initTbClasses();
  const int last = men >= 5 ? 145 : men == 4 ? 35 : men == 3 ? 5 : 0;
  std::vector<std::string> names;
  for (int c = 1; c <= last; ++c) names.push_back(tbClasses[c].name);
  return names;
}

bool genWriteFiles(const char* dir, const GenTable& table) {
  initTbClasses();
  const int c = tbClassByName(table.mat.name);
  if (c == 0) return false;
  const TbClass& cls = tbClasses[c];
  for (int side = 0; side < 2; ++side) {
    if (side == Black && (cls.flags & TbOneFile)) break;
    if (!writeSide(dir, table, cls, side)) return false;
  }
  return true;
}

bool genFileComplete(const char* dir, const char* name) {
  initTbClasses();
  const int c = tbClassByName(name);
  if (c == 0) return false;
  const TbClass& cls = tbClasses[c];
  for (int side = 0; side < 2; ++side) {
    if (side == Black && (cls.flags & TbOneFile)) break;
    for (int part = 0; part < partsOf(cls, side); ++part) {
      struct stat st{};
      if (::stat(fileNameOf(dir, cls, side, part).c_str(), &st) != 0) return false;
      if (static_cast<uint64_t>(st.st_size) != partBytes(cls, side, part)) return false;
    }
  }
  return true;
}

void genSetFileFolder(const char* dir) {
  genCloseFiles();
  readFolder = dir;
}

bool genFileLookup(const char* className, const GenSquares& given, int side, uint8_t* dist) {
  initTbClasses();
  ClassMemo* memo = readFolder.empty() ? nullptr : memoOf(className);
  if (memo == nullptr) return false;
  const TbClass& cls = tbClasses[memo->cls];
  const GenMaterial& mat = memo->mat;
  GenSquares sq = given;
  if (side == Black && (cls.flags & TbOneFile)) {
    // One file for both sides (the two sides have the same men): Black to
    // move is read as the colour-swapped position with White to move.
    const int half = mat.men / 2;
    for (int k = 0; k < 2; ++k) sq.king[k] = static_cast<uint8_t>(given.king[k ^ 1] ^ 56);
    for (int i = 0; i < mat.men; ++i)
      sq.man[i] = static_cast<uint8_t>(given.man[i < half ? i + half : i - half] ^ 56);
    side = White;
  }
  uint8_t white[16], black[16];
  fillLists(mat, sq, white, black);
  const uint64_t index = cls.indexFn[side](white, black, TbNoEp, 0);
  if (index >= cls.positions[side]) return false;
  const bool two = (cls.flags & TbTwoBytes) != 0;
  const uint64_t entry = index * (two ? 2 : 1);
  const int part = (cls.flags & TbSplit) ? static_cast<int>(entry / (partEntries(cls) * (two ? 2 : 1))) : 0;
  const Mapping* m = partFile(memo, cls, side, part);
  const uint64_t at = entry - static_cast<uint64_t>(part) * partEntries(cls) * (two ? 2 : 1);
  if (!m || at + (two ? 1 : 0) >= m->bytes) return false;
  const int stored = two ? m->data[at] | (m->data[at + 1] << 8) : m->data[at];
  return genDistanceOf(stored, two, dist);
}

void genCloseFiles() {
  for (auto& [name, m] : mappings)
    if (m.data) ::munmap(const_cast<uint8_t*>(m.data), m.bytes);
  mappings.clear();
  classMemoCount = 0;  // their mappings are gone
}
