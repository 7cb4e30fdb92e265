// Compressed table files: header and block directory, and decoding of one
// 8192-byte block at a time into a cache entry.
#pragma once
#include <cstddef>
#include <cstdint>
#include <cstdio>

struct TbDecoder;

// Failure codes: the low byte is the category.
constexpr int TbOk = 0;
constexpr int TbReadError = 2;
constexpr int TbOutOfMemory = 5;
constexpr int TbFileBroken = 6;
constexpr int TbBadArgument = 7;

// Layout constants of the file header.
constexpr int TbBannerSize = 64;
constexpr int TbFixedHeaderSize = 80;
constexpr uint32_t TbHeaderMagic = 0x004001F5;
constexpr int TbCompressedBlockBits = 13;  // the only block size the engine reads
constexpr uint32_t TbDecodeBufferSize = 8256;  // largest compressed block + slack

// Reads and checks the header of an open compressed file and builds its
// decoder record (*out, owned by the caller, released by closeCompressed).
int openCompressed(FILE* file, TbDecoder** out);
void closeCompressed(TbDecoder* decoder);

// log2 of the block size (13 for 8192-byte blocks) and the number of
// uncompressed bytes the file holds: (blocks - 1) * blockSize + last size.
int compressedBlockBits(const TbDecoder* decoder);
uint64_t compressedByteCount(const TbDecoder* decoder);
uint32_t compressedBlockCount(const TbDecoder* decoder);

// Allocates the decode buffer shared by all compressed files (once; later
// calls do nothing). openCompressed calls it; the registry may call it
// first to report a failure on its own. Returns TbOk or TbOutOfMemory.
int allocateDecodeState();
void freeDecodeState();

// Reads and decodes block `block` into out (room for at least 8228 bytes);
// *size receives its uncompressed length. The decode buffers are shared and
// allocated by openCompressed; nothing is allocated here.
int readCompressedBlock(TbDecoder* decoder, FILE* file, uint32_t block, uint8_t* out,
                        uint32_t* size);

// The header checksum: a CRC-like sum over bytes with its own table.
uint32_t tbChecksum(const uint8_t* data, size_t size);
