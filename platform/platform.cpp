// Linux implementation of the platform services.
#include "platform/platform.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <poll.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

uint32_t platformTick() {
  timespec ts;
  clock_gettime(CLOCK_MONOTONIC, &ts);
  uint64_t ms = static_cast<uint64_t>(ts.tv_sec) * 1000u + static_cast<uint64_t>(ts.tv_nsec) / 1000000u;
  return static_cast<uint32_t>(ms);
}

void platformSleep(uint32_t ms) {
  timespec ts;
  ts.tv_sec = ms / 1000;
  ts.tv_nsec = static_cast<long>(ms % 1000) * 1000000L;
  while (nanosleep(&ts, &ts) != 0 && errno == EINTR) {
  }
}

void* platformAllocTable(size_t bytes) {
  constexpr size_t HugePage = size_t{2} << 20;
  const size_t alignment = bytes >= HugePage ? HugePage : 64;
  const size_t rounded = (bytes + alignment - 1) / alignment * alignment;
  if (rounded < bytes) return nullptr;
  void* block = std::aligned_alloc(alignment, rounded);
  if (block == nullptr) return nullptr;
#ifdef MADV_HUGEPAGE
  if (alignment == HugePage) madvise(block, rounded, MADV_HUGEPAGE);
#endif
  std::memset(block, 0, rounded);
  return block;
}

LocalDate platformLocalDate() {
  time_t now = time(nullptr);
  tm local;
  LocalDate d{1970, 1, 1, 0, 0, 0};
  if (localtime_r(&now, &local) != nullptr) {
    d.year = local.tm_year + 1900;
    d.month = local.tm_mon + 1;
    d.day = local.tm_mday;
    d.hour = local.tm_hour;
    d.minute = local.tm_min;
    d.second = local.tm_sec;
  }
  return d;
}

namespace {

constexpr char dataFolderName[] = "BRAXEN Chess";

// Creates path and its missing parents; errors are left to the caller's
// later use of the folder.
void makeFolders(char* path) {
  for (char* p = path + 1; *p != '\0'; p++) {
    if (*p != '/') continue;
    *p = '\0';
    mkdir(path, 0755);
    *p = '/';
  }
  mkdir(path, 0755);
}

const char* nonEmptyEnv(const char* name) {
  const char* value = getenv(name);
  return (value != nullptr && value[0] != '\0') ? value : nullptr;
}

}  // namespace

void platformDataFolder(char* out, size_t size) {
  platformDataFolderName(out, size);
  if (out[0] != '\0') makeFolders(out);
}

void platformDataFolderName(char* out, size_t size) {
  if (size == 0) return;
  out[0] = '\0';
  const char* base = nonEmptyEnv("APPDATA");
  const char* suffix = "";
  if (base == nullptr) {
    base = nonEmptyEnv("XDG_DATA_HOME");
    if (base != nullptr && base[0] != '/') base = nullptr;  // relative values are invalid
  }
  if (base == nullptr) {
    base = nonEmptyEnv("HOME");
    suffix = "/.local/share";
  }
  if (base == nullptr) return;
  size_t baseLen = strlen(base);
  while (baseLen > 1 && base[baseLen - 1] == '/') baseLen--;
  int n = snprintf(out, size, "%.*s%s/%s", static_cast<int>(baseLen), base, suffix, dataFolderName);
  if (n < 0 || static_cast<size_t>(n) >= size) {
    out[0] = '\0';  // a cut path would name the wrong folder
  }
}

FILE* platformBeginReplace(const char* path, char* tempPath, size_t size) {
  const int n = snprintf(tempPath, size, "%s.%ld.tmp", path, static_cast<long>(getpid()));
  if (n < 0 || static_cast<size_t>(n) >= size) return nullptr;
  return fopen(tempPath, "wb");
}

bool platformFinishReplace(FILE* f, const char* tempPath, const char* path, bool ok) {
  // The bytes must be on the disk before the name points at them, or a
  // crash after the rename could leave the new name on an empty file.
  ok = ok && fflush(f) == 0 && ferror(f) == 0 && fsync(fileno(f)) == 0;
  ok = fclose(f) == 0 && ok;
  if (ok && rename(tempPath, path) == 0) {
    // The rename itself lives in the folder: sync it too (best effort).
    char folder[4096];
    snprintf(folder, sizeof folder, "%s", path);
    char* slash = strrchr(folder, '/');
    if (slash == nullptr) snprintf(folder, sizeof folder, ".");
    else if (slash == folder) slash[1] = '\0';
    else *slash = '\0';
    const int d = open(folder, O_RDONLY | O_DIRECTORY);
    if (d >= 0) {
      fsync(d);
      close(d);
    }
    return true;
  }
  unlink(tempPath);
  return false;
}

bool platformEnterFolder(const char* path) {
  return path[0] != '\0' && chdir(path) == 0;
}

void platformEngineLocation(char* folder, size_t folderSize, char* fileName, size_t nameSize) {
  if (folderSize > 0) folder[0] = '\0';
  if (nameSize > 0) fileName[0] = '\0';
  char path[4096];
  ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
  if (n <= 0) return;
  path[n] = '\0';
  char* slash = strrchr(path, '/');
  if (slash == nullptr) {
    snprintf(fileName, nameSize, "%s", path);
    return;
  }
  *slash = '\0';
  snprintf(folder, folderSize, "%s", slash == path ? "/" : path);
  snprintf(fileName, nameSize, "%s", slash + 1);
}

int platformInputMode() { return isatty(0) ? 1 : 2; }

void platformIgnoreSigpipe() { signal(SIGPIPE, SIG_IGN); }

// ---- Line reader ------------------------------------------------------------

namespace {

// The reader keeps what it has read but not yet handed out in readBuffer
// [readStart, readEnd). It holds one longest line plus a read's worth.
constexpr size_t ReadBufferSize = 2 * (PlatformLineMax + 1);
char readBuffer[ReadBufferSize];
size_t readStart = 0, readEnd = 0;
int inputFd = 0;
bool inputEnded = false;  // end of file or a read error was met
int inputError = 0;       // errno of that read error, 0 at end of file

// One read(2) into the free space; false when the input has ended.
bool fillBuffer() {
  if (readStart > 0) {
    memmove(readBuffer, readBuffer + readStart, readEnd - readStart);
    readEnd -= readStart;
    readStart = 0;
  }
  for (;;) {
    ssize_t n = read(inputFd, readBuffer + readEnd, ReadBufferSize - readEnd);
    if (n > 0) {
      readEnd += static_cast<size_t>(n);
      return true;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && errno == EAGAIN) return true;  // nothing yet on a non-blocking descriptor
    inputEnded = true;
    inputError = n < 0 ? errno : 0;
    return false;
  }
}

// Length of the next line or piece in the buffer, or 0 when none is complete.
// *lineEnd is set when a newline ends it.
size_t completeLine(bool* lineEnd) {
  size_t waiting = readEnd - readStart;
  size_t scan = waiting < PlatformLineMax + 1 ? waiting : PlatformLineMax + 1;
  const void* nl = memchr(readBuffer + readStart, '\n', scan);
  if (nl != nullptr) {
    *lineEnd = true;
    return static_cast<size_t>(static_cast<const char*>(nl) - (readBuffer + readStart)) + 1;
  }
  *lineEnd = false;
  if (waiting >= PlatformLineMax) return PlatformLineMax;
  return 0;
}

// Hands out count bytes as a command line: control characters become
// spaces; at a real line end (newline included in count, or the last bytes
// of the input) trailing blanks, and with them a "\r", are trimmed.
long takeLine(char* out, size_t count, bool withNewline, bool lineEnd) {
  const char* src = readBuffer + readStart;
  readStart += count;
  if (withNewline) count--;
  for (size_t i = 0; i < count; i++) {
    unsigned char c = static_cast<unsigned char>(src[i]);
    out[i] = (c < 0x20 || c == 0x7F) ? ' ' : static_cast<char>(c);
  }
  if (lineEnd)
    while (count > 0 && out[count - 1] == ' ') count--;
  out[count] = '\0';
  return static_cast<long>(count);
}

}  // namespace

long platformReadLine(char* out, int* errorCode) {
  for (;;) {
    bool lineEnd;
    size_t count = completeLine(&lineEnd);
    if (count > 0) return takeLine(out, count, lineEnd, lineEnd);
    if (inputEnded || !fillBuffer()) {
      if (readEnd > readStart)  // a last line without its newline
        return takeLine(out, readEnd - readStart, false, true);
      *errorCode = inputError;
      return -1;
    }
  }
}

bool platformInputAvailable() {
  bool lineEnd;
  if (inputEnded || completeLine(&lineEnd) > 0) return true;
  // A failed write on standard output counts too: the command loop then
  // learns of it at once, even in the middle of a search, and quits.
  if (ferror(stdout)) return true;
  pollfd p{inputFd, POLLIN, 0};
  if (poll(&p, 1, 0) <= 0) return false;
  if ((p.revents & (POLLIN | POLLHUP | POLLERR | POLLNVAL)) == 0) return false;
  // Take what is there so that only a complete line (or the end of the
  // input) counts; a line still being written must not block the search.
  if (!fillBuffer()) return true;
  return completeLine(&lineEnd) > 0;
}

void platformSetInputFd(int fd) {
  inputFd = fd;
  readStart = readEnd = 0;
  inputEnded = false;
  inputError = 0;
}
