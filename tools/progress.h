// Progress of long tool runs (book building, table generation) on standard
// error. Shown only when standard error is a terminal, so scripts and logs
// stay quiet; the line is redrawn in place at most a few times a second.
#pragma once

#include <cstddef>
#include <cstdint>

struct ProgressMeter {
  bool shown = false;      // standard error is a terminal
  uint64_t total = 0;      // units of work expected; 0: no estimate of the time left
  uint32_t startMs = 0;
  uint32_t lastMs = 0;     // tick of the last redraw
  bool drawn = false;      // a line is on the screen and needs ending
};

// Whether progress lines would be seen: standard error is a terminal.
bool progressOnTerminal();
// Starts a meter for `total` units of work (0 when unknown).
void progressBegin(ProgressMeter* p, uint64_t total);
// Reports `done` units with the caller's text in front of the share done and
// the estimated time left ("games 1200, positions 9000: 40 %, 12 s left").
// Cheap to call often: it redraws only every 250 ms and never when hidden.
void progressUpdate(ProgressMeter* p, uint64_t done, const char* format, ...)
    __attribute__((format(printf, 3, 4)));
// Ends the progress line (the next output starts on a fresh line).
void progressEnd(ProgressMeter* p);
// The share and estimate part of a progress line, e.g. "40 %, 12 s left";
// "" when the total is unknown or nothing is done yet.
void formatProgressEstimate(char* out, size_t size, uint64_t done, uint64_t total, uint32_t elapsedMs);
