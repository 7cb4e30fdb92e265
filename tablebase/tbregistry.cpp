// Registration of the table files: the NalimovPath folders are searched for
// every class and side, each file found is checked against the size its
// class needs, and the class enters the lookup tree that the probe uses.
#include <dirent.h>

#include <cctype>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "engine/gamefile.h"
#include "engine/options.h"
#include "tablebase/tablebase.h"
#include "tablebase/tbcache.h"
#include "tablebase/tbdecode.h"
#include "tablebase/tbregistry.h"

int32_t tbMaxMen = 0;
uint32_t tbFilesTried = 0;
uint32_t tbFilesOpened = 0;
uint32_t tbFilesRegistered = 0;
uint64_t tbBytesAllocated = 0;
uint8_t tbKnown[TbKnownBytes];
uint32_t tbKnownSize = 0;
uint32_t tbOpenFiles = 0;

namespace {

constexpr uint64_t MinCacheBytes = 1u << 20;
constexpr uint32_t LastFiveMenClass = 145;  // the short compressed names stop here
uint32_t compressedFilesRegistered = 0;

// ---- Class lookup tree -------------------------------------------------------
// Level L holds the count of the L-th kind; a node of a level with r men
// left has r + 1 slots. Inner slots hold the index of the next level's node,
// the last level's slots hold class numbers.
constexpr int TreeSize = 3003;
int32_t tree[TreeSize];
int treeUsed = 0;
constexpr int MaxMenBesideKings = 4;

int buildNode(int level, int left) {
  const int node = treeUsed;
  treeUsed += left + 1;
  for (int c = 0; c <= left; ++c) tree[node + c] = level == 9 ? 0 : buildNode(level + 1, left - c);
  return node;
}

// The leaf slot of a set of counts, or -1 when they do not fit.
int leafSlot(const int counts[10]) {
  int node = 0, left = MaxMenBesideKings;
  for (int level = 0; level < 10; ++level) {
    const int c = counts[level];
    if (c < 0 || c > left) return -1;
    if (level == 9) return node + c;
    node = tree[node + c];
    left -= c;
  }
  return -1;
}

void clearTree() {
  treeUsed = 0;
  buildNode(0, MaxMenBesideKings);
}

// Counts of a class name: White's men after the first "k", Black's after
// the second, in the tree's order pawn, knight, bishop, rook, queen.
bool countsOfName(const char* name, int counts[10]) {
  static const char kinds[] = "pnbrq";
  memset(counts, 0, 10 * sizeof(int));
  if (name[0] != 'k') return false;
  int side = 0;
  for (const char* p = name + 1; *p; ++p) {
    if (*p == 'k') {
      if (side == 1) return false;
      side = 1;
      continue;
    }
    const char* k = strchr(kinds, *p);
    if (!k) return false;
    counts[side * 5 + static_cast<int>(k - kinds)]++;
  }
  return side == 1;
}

// ---- Folder listing ----------------------------------------------------------
// File names on Linux are case-sensitive while table files are often named
// in capitals; each folder is listed once and names are matched in lower case.
constexpr int ListedMax = 4096;
constexpr int ListedNameMax = 40;
char listedNames[ListedMax][ListedNameMax];  // as on disk
char listedLower[ListedMax][ListedNameMax];
int listedCount = 0;

bool listFolder(const char* dir) {
  DIR* d = opendir(dir[0] ? dir : ".");
  if (!d) return false;
  listedCount = 0;
  while (const dirent* e = readdir(d)) {
    const size_t n = strlen(e->d_name);
    if (n >= ListedNameMax || listedCount == ListedMax) continue;
    memcpy(listedNames[listedCount], e->d_name, n + 1);
    for (size_t i = 0; i <= n; ++i)
      listedLower[listedCount][i] = static_cast<char>(tolower(static_cast<unsigned char>(e->d_name[i])));
    listedCount++;
  }
  closedir(d);
  return true;
}

// The spelling on disk of a file name whose lower-case form is lower, or
// nullptr when the folder holds none other than the name as written.
const char* spellingOnDisk(const char* lower) {
  for (int i = 0; i < listedCount; ++i)
    if (strcmp(listedLower[i], lower) == 0 && strcmp(listedNames[i], lower) != 0) return listedNames[i];
  return nullptr;
}

// dir + "/" + name; the separator is left out after an empty folder name
// (the current folder) or one that ends in "/".
void joinPath(char* path, size_t size, const char* dir, const char* name) {
  const size_t d = strlen(dir), n = strlen(name);
  const bool slash = d > 0 && dir[d - 1] != '/';
  if (d + slash + n + 1 > size) {
    path[0] = '\0';
    return;
  }
  memcpy(path, dir, d);
  if (slash) path[d] = '/';
  memcpy(path + d + slash, name, n + 1);
}

// Opens a table file by its name as written and, failing that, by the
// spelling on disk that matches it in lower case; path receives the name
// that opened.
FILE* openTableFile(const char* dir, const char* fileName, char* path, size_t size) {
  joinPath(path, size, dir, fileName);
  tbFilesTried++;
  FILE* f = fopen(path, "rb");
  if (!f) {
    const char* onDisk = spellingOnDisk(fileName);
    if (!onDisk) return nullptr;
    joinPath(path, size, dir, onDisk);
    tbFilesTried++;
    f = fopen(path, "rb");
    if (!f) return nullptr;
  }
  tbFilesOpened++;
  return f;
}

// ---- Registering one file ----------------------------------------------------

// Entries an open uncompressed table file holds.
uint64_t uncompressedEntries(FILE* f, const char* path, uint32_t flags) {
  if (fseeko(f, 0, SEEK_END) != 0) FatalError("*** Seek in %s failed\n", path);
  const off_t bytes = ftello(f);
  if (bytes < 0) FatalError("*** Seek in %s failed\n", path);
  return static_cast<uint64_t>(bytes) / ((flags & TbTwoBytes) ? 2 : 1);
}

void checkSize(const TbClass& c, int side, int part, uint64_t found, const char* path) {
  const uint64_t expected = tbExpectedEntries(c.flags, c.positions[side], part);
  if (found == expected) return;
  const uint64_t partSize = (c.flags & TbSplit) ? tbPartEntries(c.flags) : c.positions[side];
  FatalError("*** %s corrupted %" PRIu64 " %" PRIu64 " %" PRIu64 "\n", path, partSize,
             c.positions[side] % tbPartEntries(c.flags), found);
}

void enterClass(const TbClass& c, const char* path) {
  int counts[10];
  const int slot = countsOfName(c.name, counts) ? leafSlot(counts) : -1;
  if (slot < 0) FatalError("*** Unable to register %s\n", path);
  tree[slot] = static_cast<int32_t>(c.index);
  if (c.flags & TbOneFile) return;
  int swapped[10];
  for (int i = 0; i < 5; ++i) swapped[i] = counts[i + 5], swapped[i + 5] = counts[i];
  tree[leafSlot(swapped)] = -static_cast<int32_t>(c.index);
}

// The first table files stay open from registration on, unbuffered, so
// that probes never allocate; the rest are opened on their first read.
void keepOpen(TbClass& c, int side, int part, FILE* f) {
  if (tbOpenFiles < TbKeptOpenMax) {
    setvbuf(f, nullptr, _IONBF, 0);
    c.fileHandle[side][part] = f;
    tbOpenFiles++;
  } else {
    fclose(f);
  }
}

// An uncompressed table part: its size is checked and the file stays open
// for the probes while few files are open.
bool registerUncompressed(TbClass& c, int side, int part, const char* dir, const char* fileName) {
  char path[PathMax];
  FILE* f = openTableFile(dir, fileName, path, sizeof path);
  if (!f) return false;
  checkSize(c, side, part, uncompressedEntries(f, path, c.flags), path);
  enterClass(c, path);
  c.fileName[side][part] = strdup(path);
  keepOpen(c, side, part, f);
  return true;
}

// What a decoder failure code means, as the error log shows it.
const char* decodeFailureText(int code) {
  switch (code & 0xFF) {
    case TbReadError: return "read error\n";
    case TbOutOfMemory: return "out of memory\n";
    case TbFileBroken: return "file broken\n";
    default: return nullptr;
  }
}

// The names a compressed part may have, in the order they are tried:
// kqk.nbw.emd, then for unsplit classes kqk_nbw.emd and kqk_nbw_emd, and
// for classes of up to five men the short kqknbw.emd.
int compressedNames(const TbClass& c, int side, const char* fileName, char names[4][ListedNameMax]) {
  snprintf(names[0], ListedNameMax, "%.30s.emd", fileName);
  if (c.flags & TbSplit) return 1;
  const char* ending = side == 0 ? "nbw" : "nbb";
  snprintf(names[1], ListedNameMax, "%.8s_%s.emd", c.name, ending);
  snprintf(names[2], ListedNameMax, "%.8s_%s_emd", c.name, ending);
  if (c.index > LastFiveMenClass) return 3;
  snprintf(names[3], ListedNameMax, "%.8s%s.emd", c.name, ending);
  return 4;
}

// A compressed table part: its header and block directory are read and
// checked, the block size must be 8 KB, and the data it holds must fit the
// class like an uncompressed file.
bool registerCompressed(TbClass& c, int side, int part, const char* dir, const char* fileName) {
  char names[4][ListedNameMax], path[PathMax];
  const int count = compressedNames(c, side, fileName, names);
  FILE* f = nullptr;
  for (int i = 0; i < count && !f; ++i) f = openTableFile(dir, names[i], path, sizeof path);
  if (!f) return false;
  TbDecoder* decoder = nullptr;
  const int code = openCompressed(f, &decoder);
  if (code != TbOk) {
    char text[32];
    const char* failure = decodeFailureText(code);
    if (!failure) snprintf(text, sizeof text, "error %d\n", code), failure = text;
    FatalError("%s*** Unable to read %s - %d ", failure, path, code);
  }
  if (compressedBlockBits(decoder) != TbCompressedBlockBits)
    FatalError("*** %s: Unsupported block size %d\n", path, 1 << compressedBlockBits(decoder));
  checkSize(c, side, part, compressedByteCount(decoder) / ((c.flags & TbTwoBytes) ? 2 : 1), path);
  enterClass(c, path);
  c.fileName[side][part] = strdup(path);
  c.decodeInfo[side][part] = decoder;
  compressedFilesRegistered++;
  keepOpen(c, side, part, f);
  return true;
}

// Every part of one class and side that the folder holds and no earlier
// folder did.
bool registerFile(TbClass& c, int side, const char* dir) {
  bool found = false;
  const int parts = (c.flags & TbSplit) ? tbPartCount(c.flags, c.positions[side]) : 1;
  for (int part = 0; part < parts && part < TbMaxParts; ++part) {
    if (c.fileName[side][part]) continue;
    char fileName[ListedNameMax];
    tbFileName(fileName, sizeof fileName, "", c.name, c.flags, part, side);
    if (registerUncompressed(c, side, part, dir, fileName) || registerCompressed(c, side, part, dir, fileName)) {
      tbCacheAttach(static_cast<int>(c.index), side);
      tbFilesRegistered++;
      found = true;
    }
  }
  return found;
}

int menOfClass(int classNo) {
  return classNo > 145 ? 6 : classNo > 35 ? 5 : classNo > 5 ? 4 : classNo > 0 ? 3 : 0;
}

}  // namespace

// ---- Shared with the probe ---------------------------------------------------

void tbCloseFiles() {
  for (int n = 1; n <= TbClassCount; ++n)
    for (int s = 0; s < 2; ++s)
      for (int p = 0; p < TbMaxParts; ++p)
        if (FILE*& f = tbClasses[n].fileHandle[s][p]) {
          fclose(f);
          f = nullptr;
        }
  tbOpenFiles = 0;
}

void tbDropPart(int classNo, int side, int part) {
  TbClass& c = tbClasses[classNo];
  if (c.fileHandle[side][part]) {
    fclose(c.fileHandle[side][part]);
    c.fileHandle[side][part] = nullptr;
    tbOpenFiles--;
  }
  free(c.fileName[side][part]);
  c.fileName[side][part] = nullptr;
  closeCompressed(c.decodeInfo[side][part]);
  c.decodeInfo[side][part] = nullptr;
}

// ---- Public ------------------------------------------------------------------

uint64_t tbPartEntries(uint32_t flags) { return (flags & TbTwoBytes) ? (1ull << 30) : (1ull << 31); }

int tbPartCount(uint32_t flags, uint64_t positions) {
  if (!(flags & TbSplit)) return 1;
  return static_cast<int>(positions / tbPartEntries(flags)) + 1;
}

uint64_t tbExpectedEntries(uint32_t flags, uint64_t positions, int part) {
  if (!(flags & TbSplit)) return positions;
  const uint64_t size = tbPartEntries(flags), start = static_cast<uint64_t>(part) * size;
  if (start >= positions) return 0;
  return positions - start < size ? positions - start : size;
}

void tbFileName(char* out, size_t size, const char* dir, const char* className, uint32_t flags, int part, int side) {
  char name[32];
  const char* ending = side == 0 ? "nbw" : "nbb";
  if (flags & TbSplit) {
    const char digit = static_cast<char>(part < 10 ? '0' + part : 'a' + part - 10);
    snprintf(name, sizeof name, "%.8s.%c.%s", className, digit, ending);
  } else {
    snprintf(name, sizeof name, "%.8s.%s", className, ending);
  }
  joinPath(out, size, dir, name);
}

int tbLookupClass(const int counts[10]) {
  if (treeUsed == 0) return 0;
  const int slot = leafSlot(counts);
  return slot < 0 ? 0 : tree[slot];
}

void releaseTablebases() {
  tbCloseFiles();
  for (int n = 1; n <= TbClassCount; ++n)
    for (int s = 0; s < 2; ++s)
      for (int p = 0; p < TbMaxParts; ++p) {
        free(tbClasses[n].fileName[s][p]);
        tbClasses[n].fileName[s][p] = nullptr;
        closeCompressed(tbClasses[n].decodeInfo[s][p]);
        tbClasses[n].decodeInfo[s][p] = nullptr;
      }
  freeDecodeState();
  compressedFilesRegistered = 0;
  tbCacheFree();
  if (treeUsed) clearTree();
  tbFilesRegistered = 0;
  tbMaxMen = 0;
}

int tbCheckFolder(const char* dir, TbSizeReport report) {
  initTbClasses();
  if (!listFolder(dir)) return -1;
  int wrong = 0;
  for (int classNo = 1; classNo <= TbClassCount; ++classNo) {
    const TbClass& c = tbClasses[classNo];
    for (int side = 0; side < ((c.flags & TbOneFile) ? 1 : 2); ++side)
      for (int part = 0; part < tbPartCount(c.flags, c.positions[side]) && part < TbMaxParts; ++part) {
        char fileName[ListedNameMax], path[PathMax];
        tbFileName(fileName, sizeof fileName, "", c.name, c.flags, part, side);
        FILE* f = openTableFile(dir, fileName, path, sizeof path);
        bool packed = false;
        if (!f) {
          char names[4][ListedNameMax];
          const int count = compressedNames(c, side, fileName, names);
          for (int i = 0; i < count && !f; ++i) f = openTableFile(dir, names[i], path, sizeof path);
          packed = f != nullptr;
        }
        if (!f) continue;
        const uint64_t expected = tbExpectedEntries(c.flags, c.positions[side], part);
        uint64_t found = 0;
        TbDecoder* decoder = nullptr;
        if (packed) {
          // A compressed file that does not open counts as holding nothing.
          if (openCompressed(f, &decoder) == TbOk && compressedBlockBits(decoder) == TbCompressedBlockBits)
            found = compressedByteCount(decoder) / ((c.flags & TbTwoBytes) ? 2 : 1);
          closeCompressed(decoder);
        } else if (fseeko(f, 0, SEEK_END) == 0 && ftello(f) >= 0) {
          found = static_cast<uint64_t>(ftello(f)) / ((c.flags & TbTwoBytes) ? 2 : 1);
        }
        fclose(f);
        if (found != expected) wrong++;
        report(path, expected, found);
      }
  }
  return wrong;
}

int registerAll() {
  // Start afresh: no open files, no names, an empty lookup tree.
  initTbClasses();
  releaseTablebases();
  tbFilesTried = tbFilesOpened = 0;
  clearTree();

  // The path is split at ";" or ","; an empty element is the current folder.
  int highest = 0;
  const char* p = tbPath;
  for (;;) {
    const size_t n = strcspn(p, ";,");
    char dir[PathMax];
    snprintf(dir, sizeof dir, "%.*s", static_cast<int>(n < sizeof dir ? n : sizeof dir - 1), p);
    // A folder that is missing or cannot be listed is skipped.
    if (listFolder(dir)) {
      for (int classNo = 1; classNo <= TbClassCount; ++classNo) {
        TbClass& c = tbClasses[classNo];
        bool found = registerFile(c, 0, dir);
        if (!(c.flags & TbOneFile)) found = registerFile(c, 1, dir) || found;
        if (found && classNo > highest) highest = classNo;
      }
    }
    if (p[n] == '\0') break;
    p += n + 1;
  }
  // Compressed files share one buffer for the blocks read from them.
  if (compressedFilesRegistered > 0) {
    const int code = allocateDecodeState();
    if (code != TbOk) FatalError("*** Cannot allocate decode block: error code %d\n", code);
  }
  return menOfClass(highest);
}

bool InitTablebases(bool reregister) {
  if (reregister) tbMaxMen = registerAll();
  if (tbMaxMen == 0) {
    tbCacheFree();
    return false;
  }
  // The cache: halve the size after each failure, give up below 1 MB.
  uint64_t bytes = tbCacheBytes;
  while (!tbCacheAllocate(bytes)) {
    bytes /= 2;
    if (bytes < MinCacheBytes) {
      tbMaxMen = 0;
      return false;
    }
  }
  // Every material and side is worth a try again.
  tbKnownSize = 0;
  if (tbMaxMen > 2) {
    tbKnownSize = 1;
    for (int i = 2; i < tbMaxMen; ++i) tbKnownSize *= 10;
    tbKnownSize /= 2;
    memset(tbKnown, 0xFF, tbKnownSize);
  }
  return true;
}
