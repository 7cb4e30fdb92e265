// User options: their storage and defaults, the option list of the "uci"
// reply, "setoption", and the conversions between node rate and Elo.
#include "engine/options.h"

#include <cerrno>
#include <climits>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "board/position.h"
#include "book/poslearn.h"
#include "engine/edition.h"
#include "engine/report.h"
#include "engine/timecontrol.h"
#include "engine/uci.h"
#include "search/tt.h"
#include "tablebase/tablebase.h"

uint32_t saveFlags = 1u << 24;
uint32_t hashSizeKb = 16384;
int32_t tbProbeDepth = 4;
int32_t drawScore = 0;
int32_t forwardPruning16 = 160;
int32_t threatDepthNeg = -5;
uint8_t multiPvCount = 1;
uint32_t tbCacheBytes = 1u << 20;
char tbPath[160];
int32_t eloTarget = 2285, eloMin = 1250, eloMax = 2799;
uint32_t nodeRateLimit = 0;
uint32_t defaultOptionWord = 0;
bool sharpenPvOption = true;

namespace {

constexpr uint32_t DefaultRate = 100000;  // nodes per second assumed before a measurement
constexpr size_t StringOptionMax = 160;   // string values of this length or more are refused

// Elo of a node rate of 2^k nodes per second, by k.
constexpr uint32_t eloTable[24] = {850,  950,  1050, 1150, 1250, 1560, 1765, 1935,
                                   2070, 2185, 2285, 2380, 2465, 2550, 2630, 2705,
                                   2765, 2830, 2885, 2940, 2985, 3030, 3070, 3110};

// Combo value names by field value; index 0 of the book styles is unused.
constexpr const char* bookStyleNames[5] = {"Tournament", "Wild", "Wide", "Varied", "Tournament"};
constexpr const char* playingStyleNames[3] = {"Active", "Aggressive", "Solid"};

const char* CheckText(uint32_t bit) { return (optionFlags & bit) ? "true" : "false"; }


// Appends formatted text to a fixed buffer; output beyond its end is cut.
struct TextBuffer {
  char text[8192];
  size_t length = 0;
  void add(const char* format, ...) __attribute__((format(printf, 2, 3)));
};

void TextBuffer::add(const char* format, ...) {
  if (length >= sizeof text - 1) return;
  va_list args;
  va_start(args, format);
  int n = vsnprintf(text + length, sizeof text - length, format, args);
  va_end(args);
  if (n > 0) length += static_cast<size_t>(n);
  if (length > sizeof text - 1) length = sizeof text - 1;
}

void AddBookStatus(TextBuffer& out) {
  const char* status = (bookStatus & BookReadOnly)   ? "READ ONLY BOOK - NO LEARNING"
                       : (bookStatus & BookNotFound) ? "NO BOOK FOUND"
                                                     : "Loaded OK";
  out.add("option name Book Status type string default %s\n", status);
  out.add("option name Book Positions type combo default %u var %u\n", recordCount, recordCount);
}

// The option value of Braxen Draw Value from its stored internal score.
int32_t DrawValueOption() { return -(drawScore * 100) / 128; }

// A check value: true or false, any case. False when it is neither.
bool ReadCheck(char*& cursor, bool& value) {
  if (MatchKeyword("true", cursor)) {
    value = true;
    return true;
  }
  if (MatchKeyword("false", cursor)) {
    value = false;
    return true;
  }
  return false;
}

// A spin value: an optional sign and decimal digits forming the whole
// token, within [low, high]. A token that is not a number is refused
// rather than read as 0.
bool ReadSpin(char*& cursor, long low, long high, long& value) {
  const char* c = cursor;
  const char* digits = c + ((*c == '+' || *c == '-') ? 1 : 0);
  if (*digits < '0' || *digits > '9') return false;
  errno = 0;
  char* end = nullptr;
  long v = strtol(c, &end, 10);
  if (errno == ERANGE || (*end != '\0' && *end != ' ')) return false;
  if (v < low || v > high) return false;
  value = v;
  return true;
}

// A string value: the rest of the line, refused when too long to store.
bool ReadString(const char* cursor, char* target) {
  size_t n = strlen(cursor);
  if (n >= StringOptionMax) return false;
  memcpy(target, cursor, n + 1);
  return true;
}

void SetBits(uint32_t mask, bool on) {
  if (on)
    optionFlags |= mask;
  else
    optionFlags &= ~mask;
}

void SetField(uint32_t shift, uint32_t width, uint32_t value) {
  uint32_t mask = ((1u << width) - 1) << shift;
  optionFlags = (optionFlags & ~mask) | (value << shift);
}

// The options of "setoption" in the order their names are tried.
enum OptionId {
  PlayingStyle, BookStyle, Selectivity, SharpenPv, OptimisticSearch, Futility, ForwardPruning,
  DrawValue, RetainHash, SmartSearch, Swindle, Ponder, ClearHash, Hash, UseTablebases, BookLearning,
  PositionLearning, Combinations, ExtendSearch, HyperModern, ThreatDepth, TablebaseDepth, OwnBook,
  MultiPv, NalimovCache, NalimovPath, BookFile, UciElo, UciLimitStrength, UciChess960, GuiTimeLag,
  VerboseUci, AutoSavePgn, OptionCount
};

constexpr const char* optionNames[OptionCount] = {
    "Playing Style", "Book Style", "Selectivity", "Sharpen PV", "Optimistic Search", "Futility",
    "Forward Pruning", "Braxen Draw Value", "Retain Hash", "Smart Search", "Swindle", "Ponder",
    "Clear Hash", "Hash", "Use Tablebases", "Book Learning", "Position Learning", "Combinations",
    "Extend Search", "Hyper-Modern Play", "Threat Depth", "Tablebase Depth", "OwnBook", "MultiPV",
    "NalimovCache", "NalimovPath", "Book File", "UCI_Elo", "UCI_LimitStrength", "UCI_Chess960",
    "GUI Time Lag", "Verbose UCI", "AutoSave PGN"};

// The check options that only store their bit.
uint32_t PlainCheckBit(int id) {
  switch (id) {
    case SharpenPv: return OptSharpenPv;
    case OptimisticSearch: return OptOptimistic;
    case Futility: return OptFutility;
    case SmartSearch: return OptSmartSearch;
    case Swindle: return OptSwindle;
    case Ponder: return OptPonder;
    case UseTablebases: return OptUseTablebases;
    case BookLearning: return OptBookLearning;
    case Combinations: return OptCombinations;
    case ExtendSearch: return OptExtendSearch;
    case HyperModern: return OptHyperModern;
    case OwnBook: return OptOwnBook;
    case GuiTimeLag: return OptGuiTimeLag;
    case VerboseUci: return OptVerboseUci;
    default: return 0;
  }
}

void SetHash(long megabytes) {
  uint32_t kb = static_cast<uint32_t>(megabytes) * 1024;
  if (kb == hashSizeKb) return;
  // The learned entries live in the table: they are saved before it goes
  // and come back from the file into the new one.
  const bool learning = (optionFlags & OptPositionLearning) != 0;
  if (learning && learningDirty) learnSave();
  if (ttAllocate(kb))
    hashSizeKb = kb;
  else
    ttAllocate(hashSizeKb);  // keep working with the size that was in use
  if (learning) learnLoad();
}

void SetLimitStrength(bool on) {
  SetBits(OptLimitStrength, on);
  nodeRateLimit = on ? RateForElo(static_cast<uint32_t>(eloTarget)) : 0;
}

// Check options: the value has been matched as true or false.
void ApplyCheck(int id, bool on) {
  switch (id) {
    case RetainHash:
      if (on) {
        optionFlags |= OptRetainHash;
      } else if (optionFlags & OptRetainHash) {
        optionFlags &= ~OptRetainHash;
        ttClear();
      }
      break;
    case PositionLearning: {
      const bool was = (optionFlags & OptPositionLearning) != 0;
      SetBits(OptPositionLearning, on);
      if (on && !was) learnLoad();
      if (!on && was && learningDirty) learnSave();
      break;
    }
    case UciLimitStrength: SetLimitStrength(on); break;
    case UciChess960: break;  // accepted, no effect
    case AutoSavePgn:
      if (on)
        saveFlags |= SaveAutoPgn;
      else
        saveFlags &= ~SaveAutoPgn;
      break;
    default: SetBits(PlainCheckBit(id), on); break;
  }
}

// Spin options: range limits by option, then the effect of a value in range.
bool SpinRange(int id, long& low, long& high) {
  low = 0;
  switch (id) {
    case Selectivity: high = 7; return true;
    case ForwardPruning: high = 16; return true;
    case DrawValue: low = -128; high = 128; return true;
    case Hash: low = 1; high = 2048; return true;
    case ThreatDepth: high = 7; return true;
    case TablebaseDepth: high = 7; return true;
    case MultiPv: low = 1; high = 127; return true;
    case NalimovCache: low = 1; high = 256; return true;
    // The maximum is measured anew at every start and varies with the
    // machine's load: a value saved by a GUI in an earlier run may lie a
    // little above it and is then held at the maximum (ApplySpin), not
    // dropped for full strength.
    case UciElo: low = eloMin; high = LONG_MAX; return true;
    default: return false;
  }
}

void ApplySpin(int id, long v) {
  switch (id) {
    case Selectivity: SetField(OptSelectivityShift, 3, static_cast<uint32_t>(v)); break;
    case ForwardPruning: forwardPruning16 = static_cast<int32_t>(v * 16); break;
    case DrawValue: drawScore = static_cast<int32_t>(-(v * 128) / 100); break;
    case Hash: SetHash(v); break;
    case ThreatDepth: threatDepthNeg = static_cast<int32_t>(-v); break;
    case TablebaseDepth: tbProbeDepth = static_cast<int32_t>(v); break;
    case MultiPv: multiPvCount = static_cast<uint8_t>(v); break;
    case NalimovCache:
      tbCacheBytes = static_cast<uint32_t>(v) << 20;
      InitTablebases(false);
      break;
    case UciElo:
      eloTarget = static_cast<int32_t>(v < eloMax ? v : eloMax);
      if (optionFlags & OptLimitStrength) nodeRateLimit = RateForElo(static_cast<uint32_t>(eloTarget));
      break;
    default: break;
  }
}

// Combo options: the value must be one of the listed names.
void ApplyCombo(int id, char*& cursor) {
  if (id == PlayingStyle) {
    for (uint32_t i = 0; i < 3; i++)
      if (MatchKeyword(playingStyleNames[i], cursor)) return SetField(OptPlayingStyleShift, 2, i);
  } else {
    for (uint32_t i = 1; i <= 4; i++)
      if (MatchKeyword(bookStyleNames[i], cursor)) return SetField(OptBookStyleShift, 3, i);
  }
}

void ApplyString(int id, const char* cursor) {
  if (id == NalimovPath) {
    if (ReadString(cursor, tbPath)) InitTablebases(true);
    return;
  }
  if (!ReadString(cursor, bookFileName)) return;
  bookStatus = 0;
  bookOpen();
  PrintBookStatus();
}

}  // namespace

const char* BookStyleName(uint32_t flags) {
  uint32_t v = (flags >> OptBookStyleShift) & 7;
  return bookStyleNames[v <= 4 ? v : 4];
}

const char* PlayingStyleName(uint32_t flags) {
  uint32_t v = (flags >> OptPlayingStyleShift) & 3;
  return playingStyleNames[v <= 2 ? v : 0];
}

void SetEloBounds(uint32_t measuredRate) {
  if (measuredRate == 0) measuredRate = DefaultRate;
  eloMin = static_cast<int32_t>(EloForRate(16));
  eloMax = static_cast<int32_t>(EloForRate(measuredRate));
  if (eloMax < eloMin) eloMax = eloMin;
  // The default must lie within the bounds that the "uci" reply announces.
  eloTarget = static_cast<int32_t>(EloForRate(1024));
  if (eloTarget > eloMax) eloTarget = eloMax;
  if (optionFlags & OptLimitStrength) nodeRateLimit = RateForElo(static_cast<uint32_t>(eloTarget));
}

void SetDefaultOptionsFor(uint32_t word, bool hasSharpenPv) {
  defaultOptionWord = word;
  sharpenPvOption = hasSharpenPv;
  optionFlags = word;
  searchFlags = word;
  saveFlags = SaveAutoPgn;
  hashSizeKb = 16384;
  multiPvCount = 1;
  tbCacheBytes = 1u << 20;
  tbPath[0] = '\0';
  snprintf(bookFileName, sizeof bookFileName, "%s", editionBookFile);
  bookStatus = BookNotFound;  // until the book has been opened
  recordCount = 0;
  nodeRateLimit = 0;
  SetEloBounds(DefaultRate);
  // Draw value, depths, pruning and the search limits.
  SetSearchMode(true, 3);
}

void SetDefaultOptions() { SetDefaultOptionsFor(editionOptionWord, editionHasSharpenPv); }

void PrintBookStatus() {
  TextBuffer out;
  AddBookStatus(out);
  WriteOutput(out.text, out.length);
}

void PrintOptions() {
  TextBuffer out;
  out.add("option name Ponder type check default true\n");
  out.add("option name OwnBook type check default %s\n", CheckText(OptOwnBook));
  out.add("option name Book File type string default %s\n", bookFileName);
  AddBookStatus(out);
  out.add("option name Book Style type combo default %s var Wild var Wide var Varied var Tournament\n",
          BookStyleName(optionFlags));
  out.add("option name Book Learning type check default %s\n", CheckText(OptBookLearning));
  out.add("option name Position Learning type check default %s\n", CheckText(OptPositionLearning));
  out.add("option name Hash type spin min 1 max 2048 default %u\n", hashSizeKb / 1024);
  out.add("option name Clear Hash type button\n");
  out.add("option name Retain Hash type check default %s\n", CheckText(OptRetainHash));
  out.add("option name Use Tablebases type check default %s\n", CheckText(OptUseTablebases));
  out.add("option name Tablebase Depth type spin min 0 max 7 default %d\n", tbProbeDepth);
  out.add("option name NalimovCache type spin min 1 max 256 default %u\n", tbCacheBytes >> 20);
  out.add("option name NalimovPath type string default %s\n", tbPath);
  out.add("option name Braxen Draw Value type spin min -100 max 100 default %d\n", DrawValueOption());
  out.add("option name Playing Style type combo default %s var Active var Aggressive var Solid\n",
          PlayingStyleName(optionFlags));
  out.add("option name Selectivity type spin min 0 max 7 default %u\n", (optionFlags >> OptSelectivityShift) & 7);
  out.add("option name Forward Pruning type spin min 0 max 16 default %d\n", forwardPruning16 >> 4);
  out.add("option name Threat Depth type spin min 0 max 7 default %d\n", -threatDepthNeg);
  out.add("option name Smart Search type check default %s\n", CheckText(OptSmartSearch));
  out.add("option name Futility type check default %s\n", CheckText(OptFutility));
  if (sharpenPvOption) out.add("option name Sharpen PV type check default %s\n", CheckText(OptSharpenPv));
  out.add("option name Optimistic Search type check default %s\n", CheckText(OptOptimistic));
  out.add("option name Combinations type check default %s\n", CheckText(OptCombinations));
  out.add("option name Extend Search type check default %s\n", CheckText(OptExtendSearch));
  out.add("option name Hyper-Modern Play type check default %s\n", CheckText(OptHyperModern));
  out.add("option name Swindle type check default %s\n", CheckText(OptSwindle));
  out.add("option name GUI Time Lag type check default false\n");
  out.add("option name Verbose UCI type check default false\n");
  out.add("option name AutoSave PGN type check default true\n");
  out.add("option name UCI_Elo type spin min %d max %d default %d\n", eloMin, eloMax, eloTarget);
  out.add("option name UCI_LimitStrength type check default false\n");
  out.add("option name UCI_Chess960 type check default false\n");
  out.add("option name MultiPV type spin min 1 max 127 default %d\n", multiPvCount);
  out.add("option name UCI_EngineAbout type string default %s %s\n", editionName, makerNotice);
  WriteOutput(out.text, out.length);
}

int HandleSetOption(char* cursor) {
  int id = 0;
  for (; id < OptionCount; id++) {
    if (id == SharpenPv && !sharpenPvOption) continue;  // this edition has no such option
    if (MatchKeyword(optionNames[id], cursor)) break;
  }
  if (id == OptionCount) return 1;
  if (id == ClearHash) {
    ttClear();
    return 1;
  }
  if (!MatchKeyword("value", cursor)) return 1;

  long low = 0, high = 0, number = 0;
  bool on = false;
  if (id == PlayingStyle || id == BookStyle)
    ApplyCombo(id, cursor);
  else if (id == NalimovPath || id == BookFile)
    ApplyString(id, cursor);
  else if (SpinRange(id, low, high)) {
    if (ReadSpin(cursor, low, high, number)) ApplySpin(id, number);
  } else if (ReadCheck(cursor, on))
    ApplyCheck(id, on);
  return 1;
}

uint32_t EloForRate(uint32_t rate) {
  if (rate == 0) rate = 1;
  if (rate >= (1u << 23)) return eloTable[23];  // beyond the table: its last entry
  uint32_t k = 1;
  if (rate > 2) {
    k = 2;
    while ((1u << k) < rate) k++;
  }
  uint64_t half = 1u << (k - 1);
  return eloTable[k - 1] + static_cast<uint32_t>((eloTable[k] - eloTable[k - 1]) * (rate - half) / half);
}

uint32_t RateForElo(uint32_t elo) {
  if (elo <= eloTable[0]) return 1;
  if (elo >= eloTable[23]) return 1u << 23;
  uint32_t k = 1;
  while (eloTable[k] < elo) k++;
  uint64_t half = 1u << (k - 1);
  return static_cast<uint32_t>(half + (elo - eloTable[k - 1]) * half / (eloTable[k] - eloTable[k - 1]));
}
