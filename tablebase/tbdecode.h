// Compressed table files: header and block directory, and decoding of one
// 8192-byte block at a time into a cache entry.
#pragma once
#include <cstdint>
#include <cstdio>

struct TbDecoder;

// Failure codes: the low byte is the category.
constexpr int TbOk = 0;
constexpr int TbReadError = 2;
constexpr int TbOutOfMemory = 5;
constexpr int TbFileBroken = 6;
constexpr int TbBadArgument = 7;

// Reads and checks the header of an open compressed file and builds its
// decoder record (*out, owned by the caller, released by closeCompressed).
int openCompressed(FILE* file, TbDecoder** out);
void closeCompressed(TbDecoder* decoder);

// log2 of the block size (13 for 8192-byte blocks) and the number of
// uncompressed bytes the file holds: (blocks - 1) * blockSize + last size.
int compressedBlockBits(const TbDecoder* decoder);
uint64_t compressedByteCount(const TbDecoder* decoder);

// Reads and decodes block `block` into out (room for at least 8228 bytes);
// *size receives its uncompressed length. The decode buffers are shared and
// allocated by openCompressed; nothing is allocated here.
int readCompressedBlock(TbDecoder* decoder, FILE* file, uint32_t block, uint8_t* out,
                        uint32_t* size);
