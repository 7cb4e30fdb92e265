// The block cache of the tablebase files: a fixed number of 8 KB entries
// allocated once, a free list, one global LRU list and 32 hash buckets per
// class and side (by block number & 31). Nothing here allocates after
// tbCacheAllocate.
#pragma once
#include <cstdint>

#include "tablebase/tbclasses.h"

constexpr uint32_t TbBlockBytes = 8192;
constexpr uint32_t TbEntryDataBytes = 8228;  // a block plus slack for the decoder
constexpr uint32_t TbEntryCost = 8260;       // cache bytes counted per entry
constexpr uint32_t TbBuckets = 32;

struct TbCacheEntry {
  int16_t classNo;
  uint8_t side;
  uint32_t block;
  uint32_t length;         // valid bytes of data
  TbCacheEntry* newer;     // LRU links; the head is the most recently used
  TbCacheEntry* older;
  TbCacheEntry* next;      // bucket links (the free list uses next only)
  TbCacheEntry* previous;
  uint8_t* data;
};

extern uint32_t tbCacheEntries;  // 0: no cache

// Allocates bytes / TbEntryCost entries; false when the allocation fails.
bool tbCacheAllocate(uint64_t bytes);
void tbCacheFree();
// All entries free, every bucket of every class empty.
void tbCacheReset();
// Points the buckets of (classNo, side) at their fixed storage.
void tbCacheAttach(int classNo, int side);

// The cached block or nullptr. A hit becomes the most recently used.
TbCacheEntry* tbCacheFind(int classNo, int side, uint32_t block);
// An entry for a block about to be read: a free one, else the least
// recently used one, taken out of its lists.
TbCacheEntry* tbCacheTake(int classNo, int side, uint32_t block);
// A filled entry becomes the most recently used of the cache and its bucket.
void tbCacheInsert(TbCacheEntry* e);
// An entry whose read failed goes back to the free list.
void tbCacheRelease(TbCacheEntry* e);
