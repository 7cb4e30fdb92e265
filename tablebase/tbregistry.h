// State the registry shares with the probe.
#pragma once
#include <cstdint>

constexpr int PathMax = 1024;
// Table files kept open from registration on; beyond this many, files are
// opened when first read.
constexpr uint32_t TbKeptOpenMax = 256;

// Availability bits by material code (see probeTablebase): a clear bit
// means the material and side to move failed before and is not retried.
constexpr uint32_t TbKnownBytes = 5000;
extern uint8_t tbKnown[TbKnownBytes];
extern uint32_t tbKnownSize;  // bytes in use, 10^(maxMen - 2) / 2
extern uint32_t tbOpenFiles;

void tbCloseFiles();
// Forgets a part whose file cannot be read any more.
void tbDropPart(int classNo, int side, int part);
