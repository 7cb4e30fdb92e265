// Generated tables on disk: writing a class's files at the indices of the
// engine's index functions, in its byte (or two-byte) encoding, and reading
// them back for the captures and promotions of larger classes.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "tablebase/tbgen.h"

// Stored entry of a distance byte (see GenTable): 0 draw; for one byte
// 1..126 the side to move mates in 127 - v moves, -126..-1 it is mated in
// v + 126 moves, -128 mates in 127, -127 mated in 126; for two bytes
// 32767 - n mates in n, n - 32766 mated in n. Unused indices hold
// GenUnknownByte (127) or GenUnknownWord (32767): "no information".
int genStoredValue(uint8_t dist, bool twoBytes);
// The distance byte of a stored entry; false for "no information".
bool genDistanceOf(int stored, bool twoBytes, uint8_t* dist);
constexpr int GenUnknownByte = 127;
constexpr int GenUnknownWord = 32767;

// Storage names of the classes of three up to `men` men, in class order.
std::vector<std::string> genClassesUpTo(int men);

// Writes the files of a class into dir (each through a temporary file that
// is synced and renamed). false on a write error or when a legal position
// has no index.
bool genWriteFiles(const char* dir, const GenTable& table);
// True when every file of the class is in dir with its full size.
bool genFileComplete(const char* dir, const char* name);

// Reading finished files of the folder set here (a GenExternalLookup).
void genSetFileFolder(const char* dir);
bool genFileLookup(const char* className, const GenSquares& sq, int side, uint8_t* dist);
// Unmaps every file read so far.
void genCloseFiles();
