// The tablebase block cache: entries on a free list until first use, then
// on the global LRU list and in the bucket of their class and side.
#include "tablebase/tbcache.h"

#include <cstdlib>
#include <cstring>

#include "tablebase/tablebase.h"

uint32_t tbCacheEntries = 0;

namespace {

TbCacheEntry* entries = nullptr;
uint8_t* dataArea = nullptr;
TbCacheEntry* freeList = nullptr;
TbCacheEntry* newest = nullptr;  // head of the LRU list
TbCacheEntry* oldest = nullptr;  // its tail, the next to be evicted

// Bucket heads of every class and side, fixed so that registration needs
// no allocation for them.
TbCacheEntry* bucketStore[TbClassCount + 1][2][TbBuckets];

TbCacheEntry** bucketHead(const TbCacheEntry* e) {
  return &tbClasses[e->classNo].blockBuckets[e->side][e->block & (TbBuckets - 1)];
}

void unlinkLru(TbCacheEntry* e) {
  if (e->newer) e->newer->older = e->older;
  else newest = e->older;
  if (e->older) e->older->newer = e->newer;
  else oldest = e->newer;
  e->newer = e->older = nullptr;
}

void pushLru(TbCacheEntry* e) {
  e->newer = nullptr;
  e->older = newest;
  if (newest) newest->newer = e;
  newest = e;
  if (!oldest) oldest = e;
}

void unlinkBucket(TbCacheEntry* e) {
  if (e->previous) e->previous->next = e->next;
  else *bucketHead(e) = e->next;
  if (e->next) e->next->previous = e->previous;
  e->next = e->previous = nullptr;
}

void pushBucket(TbCacheEntry* e) {
  TbCacheEntry** head = bucketHead(e);
  e->previous = nullptr;
  e->next = *head;
  if (*head) (*head)->previous = e;
  *head = e;
}

}  // namespace

bool tbCacheAllocate(uint64_t bytes) {
  tbCacheFree();
  const uint64_t n = bytes / TbEntryCost;
  if (n == 0) return false;
  entries = static_cast<TbCacheEntry*>(malloc(n * sizeof(TbCacheEntry)));
  dataArea = static_cast<uint8_t*>(malloc(n * TbEntryDataBytes));
  if (!entries || !dataArea) {
    tbCacheFree();
    return false;
  }
  tbCacheEntries = static_cast<uint32_t>(n);
  tbBytesAllocated = n * (sizeof(TbCacheEntry) + TbEntryDataBytes);
  tbCacheReset();
  return true;
}

void tbCacheFree() {
  free(entries);
  free(dataArea);
  entries = nullptr;
  dataArea = nullptr;
  tbCacheEntries = 0;
  tbBytesAllocated = 0;
  tbCacheReset();
}

void tbCacheReset() {
  memset(bucketStore, 0, sizeof bucketStore);
  newest = oldest = freeList = nullptr;
  for (uint32_t i = tbCacheEntries; i-- > 0;) {
    TbCacheEntry& e = entries[i];
    e = TbCacheEntry{};
    e.data = dataArea + static_cast<uint64_t>(i) * TbEntryDataBytes;
    e.next = freeList;
    freeList = &e;
  }
}

void tbCacheAttach(int classNo, int side) {
  tbClasses[classNo].blockBuckets[side] = bucketStore[classNo][side];
}

TbCacheEntry* tbCacheFind(int classNo, int side, uint32_t block) {
  TbCacheEntry** buckets = tbClasses[classNo].blockBuckets[side];
  if (!buckets) return nullptr;
  for (TbCacheEntry* e = buckets[block & (TbBuckets - 1)]; e; e = e->next) {
    if (e->block != block || e->classNo != classNo || e->side != side) continue;
    unlinkLru(e);
    pushLru(e);
    unlinkBucket(e);
    pushBucket(e);
    return e;
  }
  return nullptr;
}

TbCacheEntry* tbCacheTake(int classNo, int side, uint32_t block) {
  TbCacheEntry* e = freeList;
  if (e) {
    freeList = e->next;
  } else {
    e = oldest;
    if (!e) return nullptr;
    unlinkLru(e);
    unlinkBucket(e);
  }
  e->classNo = static_cast<int16_t>(classNo);
  e->side = static_cast<uint8_t>(side);
  e->block = block;
  e->length = 0;
  e->next = e->previous = e->newer = e->older = nullptr;
  return e;
}

void tbCacheInsert(TbCacheEntry* e) {
  pushLru(e);
  pushBucket(e);
}

void tbCacheRelease(TbCacheEntry* e) {
  e->length = 0;
  e->next = freeList;
  freeList = e;
}
