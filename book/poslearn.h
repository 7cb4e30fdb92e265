// Position learning: root positions whose score swung during a search are
// kept as protected hash entries and saved in the learning file, so that a
// later run finds their bound and move from its first iteration on.
#pragma once

#include <cstdint>

constexpr uint32_t LearnFileMagic = 0x4A85F354;
constexpr int LearnFileCapacity = 4096;   // records the file holds at most

extern bool learningDirty;                // a learned entry was added since the last save

// Stores the learning file's records into the hash table (the file named
// by the edition, in the current folder). A missing or foreign file loads
// nothing.
void learnLoad();
// Merges the table's learned entries into the file and rewrites it.
void learnSave();
// The step after a search: learns the root position when its score swung
// by more than 48 units and a quarter of its size against the extremes lo
// and hi of the deeper iterations.
void learnFromSearch(int lo, int hi);
