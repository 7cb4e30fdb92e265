// The opening book file: opening it, its status and its record count.
// The probe and the learning rewrite work on the file opened here.
#pragma once

#include <cstdint>
#include <cstdio>

constexpr uint32_t BookReadOnly = 1;   // bookStatus: opened, but not writable (no learning)
constexpr uint32_t BookNotFound = 2;   // bookStatus: no usable book file
constexpr uint32_t OwnBookFlag = 1u << 16;  // optionFlags bit switched by bookOpen

extern char bookFileName[160];
extern uint32_t bookStatus;         // BookReadOnly | BookNotFound
extern uint32_t recordCount;        // first 32-bit little-endian word of the file
extern FILE* bookFile;              // open book, or null

// Closes any open book, opens bookFileName (for update when it can, else
// read-only), reads the record count and sets bookStatus. OwnBook is
// switched on when the count could be read, off otherwise. True when the
// book is usable.
bool bookOpen();
void bookClose();
