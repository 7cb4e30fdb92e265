// Operating-system services for the rest of the engine: clock, sleep, date,
// file locations and the line reader over standard input.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

// Milliseconds from a monotonic clock, truncated to 32 bits: it wraps after
// about 49.7 days, so compare ticks only by unsigned subtraction.
uint32_t platformTick();
void platformSleep(uint32_t ms);

// A zeroed block for a large table probed at random (hash tables): aligned
// to 2 MB from that size on and offered to the kernel for huge pages, which
// spares the search a page-table walk on most probes; smaller blocks start
// on a cache line. nullptr when the memory cannot be had. Release with free().
void* platformAllocTable(size_t bytes);

struct LocalDate {
  int year, month, day;        // e.g. 2026, 1..12, 1..31
  int hour, minute, second;
};
LocalDate platformLocalDate();

// Folder of the engine's own files: $APPDATA/"BRAXEN Chess" when APPDATA is
// set, else $XDG_DATA_HOME/"BRAXEN Chess", else $HOME/.local/share/"BRAXEN
// Chess". Written into out (NUL-terminated, no trailing slash). The folder is
// created when missing; failures are ignored.
void platformDataFolder(char* out, size_t size);
// The same folder name, without creating the folder ("" when no variable
// gives it).
void platformDataFolderName(char* out, size_t size);
// Writing a file whole so that a kill or a crash at any moment leaves
// either the old file or the new one: platformBeginReplace opens a
// temporary file beside path (its name goes to tempPath); the caller writes
// into it and hands it to platformFinishReplace with ok = whether every
// write succeeded. That flushes and syncs the bytes, closes the file and
// renames it over path. On any failure the temporary file is removed, path
// is left as it was, and the result is false.
FILE* platformBeginReplace(const char* path, char* tempPath, size_t size);
bool platformFinishReplace(FILE* f, const char* tempPath, const char* path, bool ok);
// Makes path the current directory; false on failure.
bool platformEnterFolder(const char* path);
// The running program's folder (no trailing slash) and file name, from
// /proc/self/exe. Empty strings when they cannot be read.
void platformEngineLocation(char* folder, size_t folderSize, char* fileName, size_t nameSize);

// ---- Standard input ---------------------------------------------------------

// Longest line handed out whole; a longer line comes in pieces of this many
// characters (the last piece ends at the real line end).
constexpr size_t PlatformLineMax = 65535;

// 1 when fd 0 is a terminal, 2 for a pipe or a file.
int platformInputMode();
// Ignores SIGPIPE so that a vanished reader shows up as a write error.
void platformIgnoreSigpipe();

// Reads the next line from fd 0 into out (capacity at least
// PlatformLineMax + 1), blocking until one is complete. The newline, a
// trailing "\r" and trailing blanks are removed; a NUL byte in the input is
// replaced by a space. A last line without a newline is still returned.
// Returns the line length, or -1 when input has ended (end of file or a read
// error); then *errorCode holds the errno of the failure (0 at end of file).
long platformReadLine(char* out, int* errorCode);

// True when platformReadLine would not block: a complete line is already in
// the reader's buffer, bytes or end of file are waiting on fd 0, the input
// has already ended, or a write on stdout has failed (so that the command
// loop sees the lost output at once). Never blocks.
bool platformInputAvailable();

// Makes the reader use another descriptor (tests); resets its buffer.
void platformSetInputFd(int fd);
