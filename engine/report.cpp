// The text of every search report: scores, moves, the "info" lines and
// "bestmove". Each line is formatted whole in a buffer and written at once.
#include "engine/report.h"

#include <cinttypes>
#include <cstdio>
#include <cstring>

#include "engine/timecontrol.h"
#include "search/think.h"
#include "search/tt.h"

namespace {

constexpr int MoveTextMax = 16;   // longest text with padding is 8 characters
constexpr int LineMoveMax = 95;   // a line buffer never holds more moves than this

// Centipawn suffix by bound type: 0..2 upper bound, 3..5 exact, 6..7 lower bound.
constexpr const char* boundSuffix[8] = {" upperbound ", " upperbound ", " upperbound ", "", "", "",
                                        " lowerbound ", " lowerbound "};

void SquareText(char*& out, int sq) {
  *out++ = static_cast<char>('a' + fileOf(sq));
  *out++ = static_cast<char>('1' + rankOf(sq));
}

// Appends the moves of a line (slot 0 unused, 0-terminated) in UCI style.
size_t AppendLine(char* out, size_t room, const Move* line) {
  size_t length = 0;
  for (int i = 1; i <= LineMoveMax && line[i] != 0; i++) {
    const char* text = MoveText(line[i], StyleUciOut);
    size_t n = strlen(text);
    if (length + n >= room) break;
    memcpy(out + length, text, n);
    length += n;
  }
  out[length] = '\0';
  return length;
}

void WriteLine(const char* text, int length) {
  if (length <= 0) return;
  WriteOutput(text, static_cast<size_t>(length));
}

}  // namespace

void WriteOutput(const char* text, size_t length) {
  fwrite(text, 1, length, stdout);
  fflush(stdout);
}

const char* ScoreText(int score, int boundType) {
  static char text[48];
  if (score >= ScoreMateThreshold)
    snprintf(text, sizeof text, "mate %d", (8193 - score) >> 1);
  else if (score <= -ScoreMateThreshold)
    snprintf(text, sizeof text, "mate %d", -((score + 8192) >> 1));
  else
    snprintf(text, sizeof text, "cp %d%s", score * 100 / 128,
             boundType >= 0 && boundType < 8 ? boundSuffix[boundType] : "");
  return text;
}

const char* MoveText(unsigned move, unsigned style) {
  static char text[MoveTextMax];
  char* out = text;
  const unsigned kind = move & KindMask;
  const int from = moveFrom(static_cast<Move>(move));
  const int to = moveTo(static_cast<Move>(move));
  const bool uci = (style & StyleUci) != 0;
  const bool san = !uci && (style & StyleSan) != 0;

  if ((move & 0x7FFF) == 0 || (move & 0x7FFF) == NullMove) {
    memcpy(text, "        ", 9);
    return text;
  }
  if (kind == CastleKind && !uci) {
    const char* castle = from < to ? "O-O" : "O-O-O";
    size_t n = strlen(castle);
    memcpy(out, castle, n);
    out += n;
  } else {
    const bool promotion = (kind & PromotionBit) != 0;
    const bool changesFile = fileOf(from) != fileOf(to);
    if (!san) {
      SquareText(out, from);
    } else if ((style & 7) == Pawn) {
      if (changesFile) *out++ = static_cast<char>('a' + fileOf(from));
    } else {
      if ((style & 7) != None) *out++ = pieceLetters[style & 7];
      if (style & StyleFile) *out++ = static_cast<char>('a' + fileOf(from));
      if (style & StyleRank) *out++ = static_cast<char>('1' + rankOf(from));
    }
    if (!uci) {
      const bool capture = (kind & CaptureKind) != 0 && !promotion;
      if (capture || (promotion && changesFile))
        *out++ = 'x';
      else if (!san)
        *out++ = '-';
    }
    SquareText(out, to);
    if (promotion) {
      // The UCI protocol spells the new piece in lower case; PGN's
      // algebraic moves put "=" before it.
      char letter = pieceLetters[promotionType[kind >> 12]];
      if (san) *out++ = '=';
      *out++ = uci ? static_cast<char>(letter - 'A' + 'a') : letter;
    }
  }
  if (!uci && (move & CheckMark)) *out++ = '+';

  if (!(style & StyleNoPad)) {
    if (style & StyleOneSpace) {
      *out++ = ' ';
    } else {
      const int width = san ? 7 : 8;
      while (out - text < width) *out++ = ' ';
    }
  }
  *out = '\0';
  return text;
}

void PrintDepthLine(int depth) {
  char text[64];
  WriteLine(text, snprintf(text, sizeof text, "info depth %d seldepth %d\n", depth, selDepth));
}

void PrintPvLine(int multiPv, const Move* line, int boundType, int score, int depth, int selDepthValue) {
  if (searchState == 7) return;  // the start-up calibration reports nothing
  char text[1536];
  char prefix[24] = "";
  if (multiPv != 0) snprintf(prefix, sizeof prefix, "multipv %d ", multiPv);
  int n = snprintf(text, sizeof text, "info %sdepth %d seldepth %d time %u nodes %" PRIu64 " nps %u score %s",
                   prefix, depth, selDepthValue, static_cast<unsigned>(ElapsedMs()), nodeCount, measuredNps,
                   ScoreText(score, boundType));
  if (tbHits != 0) n += snprintf(text + n, sizeof text - n, " tbhits %u", tbHits);
  n += snprintf(text + n, sizeof text - n, " pv ");
  n += static_cast<int>(AppendLine(text + n, sizeof text - n - 1, line));
  text[n++] = '\n';
  WriteLine(text, n);
}

void PrintCurrMove(int number, Move move) {
  char text[80];
  WriteLine(text, snprintf(text, sizeof text, "info currmovenumber %d currmove %s\n", number,
                           MoveText(move, StyleUciOut)));
}

unsigned long HashFull() {
  if (ttTableKb == 0) return 0;
  uint64_t fill = ttStamped * 1000 / (ttTableKb * 64);
  return static_cast<unsigned long>(fill < 1000 ? fill : 1000);
}

void PrintNodesLine() {
  char text[96];
  WriteLine(text, snprintf(text, sizeof text, "info nodes %" PRIu64 " nps %u hashfull %lu\n", nodeCount,
                           measuredNps, HashFull()));
}

void PrintBestMove(Move best, Move ponder) {
  char text[192];
  int n = snprintf(text, sizeof text, "info nps %u nodes %" PRIu64 " hashfull %lu time %u\n", measuredNps,
                   nodeCount, HashFull(), static_cast<unsigned>(ElapsedMs()) + 1);
  if (best == 0) {
    // No legal move: the protocol's null move, never blanks.
    n += snprintf(text + n, sizeof text - n, "bestmove 0000\n");
  } else {
    n += snprintf(text + n, sizeof text - n, "bestmove %s", MoveText(best, StyleUciOut));
    if (ponder != 0) n += snprintf(text + n, sizeof text - n, " ponder %s", MoveText(ponder, StyleUciOut));
    n += snprintf(text + n, sizeof text - n, "\n");
  }
  WriteLine(text, n);
}
