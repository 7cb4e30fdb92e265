// Progress lines on a terminal's standard error for long tool runs.
#include "tools/progress.h"

#include <unistd.h>

#include <cstdarg>
#include <cstdio>

#include "platform/platform.h"

namespace {

constexpr uint32_t RedrawMs = 250;

// Seconds as "45 s", "12 min 5 s" or "3 h 20 min".
void formatDuration(char* out, size_t size, uint64_t seconds) {
  if (seconds < 60) snprintf(out, size, "%llu s", static_cast<unsigned long long>(seconds));
  else if (seconds < 3600)
    snprintf(out, size, "%llu min %llu s", static_cast<unsigned long long>(seconds / 60),
             static_cast<unsigned long long>(seconds % 60));
  else
    snprintf(out, size, "%llu h %llu min", static_cast<unsigned long long>(seconds / 3600),
             static_cast<unsigned long long>(seconds / 60 % 60));
}

}  // namespace

bool progressOnTerminal() { return isatty(STDERR_FILENO) == 1; }

void progressBegin(ProgressMeter* p, uint64_t total) {
  *p = ProgressMeter();
  p->shown = progressOnTerminal();
  p->total = total;
  p->startMs = platformTick();
  p->lastMs = p->startMs;
}

void formatProgressEstimate(char* out, size_t size, uint64_t done, uint64_t total, uint32_t elapsedMs) {
  out[0] = '\0';
  if (total == 0 || done == 0) return;
  if (done > total) done = total;
  const uint64_t left = static_cast<uint64_t>(elapsedMs) * (total - done) / done / 1000;
  char duration[40];
  formatDuration(duration, sizeof duration, left);
  snprintf(out, size, "%llu %%, %s left", static_cast<unsigned long long>(done * 100 / total), duration);
}

void progressUpdate(ProgressMeter* p, uint64_t done, const char* format, ...) {
  if (!p->shown) return;
  const uint32_t now = platformTick();
  if (p->drawn && now - p->lastMs < RedrawMs) return;
  p->lastMs = now;
  char text[160], estimate[80];
  va_list args;
  va_start(args, format);
  vsnprintf(text, sizeof text, format, args);
  va_end(args);
  formatProgressEstimate(estimate, sizeof estimate, done, p->total, now - p->startMs);
  // "\r" back to the line start, "\033[K" clears what a longer line left.
  fprintf(stderr, "\r%s%s%s\033[K", text, estimate[0] ? ": " : "", estimate);
  fflush(stderr);
  p->drawn = true;
}

void progressEnd(ProgressMeter* p) {
  if (p->shown && p->drawn) fputs("\r\033[K", stderr);
  fflush(stderr);
  p->drawn = false;
}
