// The game autosave file. When a game ends, its result is estimated from
// the engine's last search score and the game is appended in PGN with the
// settings it was played with and a comment per move (thinking time, and
// score and depth for the engine's own moves).
#include "engine/gamefile.h"

#include <cstdarg>
#include <cstdlib>
#include <cstring>

#include "board/history.h"
#include "board/position.h"
#include "board/setup.h"
#include "book/booklearn.h"
#include "engine/edition.h"
#include "engine/options.h"
#include "engine/report.h"
#include "engine/uci.h"
#include "platform/platform.h"
#include "tablebase/tablebase.h"

int32_t gameCounter = 0;

namespace {

// Result texts by result code.
constexpr const char* resultTexts[4] = {"*", "1/2-1/2", "1-0", "0-1"};
constexpr size_t MoveLineLength = 60;  // a move line is written once it is longer

// The number of the game record last saved; the start value matches no
// record.
uint32_t savedRecord = ~0u;

const char* OnOff(uint32_t bit) { return (searchFlags & bit) ? "on" : "off"; }

void WriteTags(FILE* f, int engineSide, int result) {
  const LocalDate d = platformLocalDate();
  fprintf(f, "[Event \"%s\"]\n[Site \"\"]\n", editionGameFile);
  fprintf(f, "[Date \"%04d.%02d.%02d\"]\n[Round \"%d\"]\n", d.year, d.month, d.day, gameCounter);
  const bool limited = (searchFlags & OptLimitStrength) != 0;
  if (engineSide == 0) {
    fprintf(f, "[White \"%s\"]\n[Black \"Player\"]\n", engineName);
    if (limited) fprintf(f, "[WhiteElo \"%d\"]\n", eloTarget);
  } else {
    fprintf(f, "[White \"Player\"]\n[Black \"%s\"]\n", engineName);
    if (limited) fprintf(f, "[BlackElo \"%d\"]\n", eloTarget);
  }
  fprintf(f, "[Result \"%s\"]\n", resultTexts[result]);
  if (gameStartedFromSetUp) fprintf(f, "[SetUp \"1\"]\n[FEN \"%s\"]\n", setUpFen);
}

// A text inside the settings comment: a "}" would end the comment early,
// so it is written as ")".
const char* CommentSafe(const char* text) {
  static char safe[4][PathBufferSize];
  static int next = 0;
  char* out = safe[next];
  next = (next + 1) % 4;
  size_t n = 0;
  for (; text[n] != '\0' && n + 1 < PathBufferSize; ++n) out[n] = text[n] == '}' ? ')' : text[n];
  out[n] = '\0';
  return out;
}

// The four lines of settings the game was played with.
void WriteSettings(FILE* f) {
  fprintf(f, "{CT=%d Hash=%ldMb, Retain=%s, PosLrn=%s Tbs=%d/%ldMb/d=%d draw=%d mpv=%d\n", 1,
          static_cast<long>(hashSizeKb / 1024), OnOff(OptRetainHash), OnOff(OptPositionLearning),
          static_cast<int>(tbFilesRegistered),
          static_cast<long>(tbCacheBytes >> 20), tbProbeDepth, -drawScore, multiPvCount);
  fprintf(f, "Paths tbs=<%s>\n", CommentSafe(tbPath));
  fprintf(f, "data=<%s>\neng=<%s> name=<%s>\n", CommentSafe(dataFolder), CommentSafe(engineFolder),
          CommentSafe(engineFileName));
  fprintf(f, "%s Book=%s/%s Pos=%d BkLrn=%s %d Elo=%s/%d/%d\n", CommentSafe(bookFileName), OnOff(OptOwnBook),
          BookStyleName(searchFlags), static_cast<int>(recordCount), OnOff(OptBookLearning), 100,
          OnOff(OptLimitStrength), eloTarget, eloMax);
  fprintf(f, "L=%s Sel=%d Fut=%s Os=%s fp=%d td=%d smart=%s comb=%s %s HM=%s swdl=%s}\n", OnOff(OptGuiTimeLag),
          static_cast<int>((searchFlags >> OptSelectivityShift) & 7), OnOff(OptFutility), OnOff(OptOptimistic),
          forwardPruning16 >> 4, -threatDepthNeg, OnOff(OptSmartSearch), OnOff(OptCombinations),
          PlayingStyleName(searchFlags), OnOff(OptHyperModern), OnOff(OptSwindle));
}

// The mover's thinking time for move k: its cumulative time there minus
// its cumulative time at its previous move.
uint32_t ThinkingTime(int k) {
  const GameRecord* r = gameMoveRecord(k);
  const GameRecord* before = gameMoveRecord(k - 2);
  const uint32_t earlier = before != nullptr ? before->thinkTime : 0;
  return r->thinkTime > earlier ? r->thinkTime - earlier : 0;
}

// Move number (when due), move and comment of move k, appended to line.
void AppendMove(char* line, size_t size, int k, bool first) {
  GameRecord* r = gameMoveRecord(k);
  size_t n = strlen(line);
  const int number = static_cast<int>(gameMoveNumber) + k + 2;
  if (number % 2 == 0) n += snprintf(line + n, size - n, "%d.", number / 2);
  else if (first) n += snprintf(line + n, size - n, "%d...", number / 2);

  char move[24];
  snprintf(move, sizeof move, "%s", MoveText(r->move, StyleSan | StyleNoPad | (r->styleDepth & 0x1F)));
  const size_t length = strlen(move);
  if ((r->flags & RecordVerdictMask) == RecordGivesMate && length > 0 && move[length - 1] == '+')
    move[length - 1] = '#';

  const bool searched = (r->flags & RecordSearchInfo) != 0;
  const int whiteScore = r->mover == White ? r->score : -r->score;
  snprintf(line + n, size - n, "%s %s", move, MoveCommentText(ThinkingTime(k), searched, whiteScore, r->styleDepth >> 10));
  r->flags = static_cast<uint16_t>(r->flags & ~RecordSearchInfo);
}

void WriteMoves(FILE* f) {
  char line[256] = "";
  // A record without a move ends the list: a blank move would make the
  // rest of the file unreadable.
  for (int k = 0; k < gameMovesPlayed && gameMoveRecord(k) != nullptr && gameMoveRecord(k)->move != 0; ++k) {
    AppendMove(line, sizeof line, k, k == 0);
    if (strlen(line) > MoveLineLength) {
      fprintf(f, "%s\n", line);
      line[0] = '\0';
    }
  }
  if (line[0] != '\0') fprintf(f, "%s\n", line);
}

}  // namespace

int ResultForScore(int s) {
  if (s >= 257) return 2;
  if (s <= -257) return 3;
  if (s > -96 && s < 96) return 1;
  return 0;
}

const char* MoveCommentText(uint32_t ms, bool searched, int s, int depth) {
  static char text[64];
  const long t = static_cast<long>(ms / 1000);
  int n;
  if (t < 60) n = snprintf(text, sizeof text, "{%ld", t);
  else if (t < 3600) n = snprintf(text, sizeof text, "{%ld:%02ld", t / 60, t % 60);
  else n = snprintf(text, sizeof text, "{%01ld:%02ld:%02ld", t / 3600, t / 60 % 60, t % 60);
  const size_t room = sizeof text - static_cast<size_t>(n);
  if (!searched) {
    snprintf(text + n, room, "} ");
  } else if (s > -ScoreMateThreshold && s < ScoreMateThreshold) {
    const int c = s * 100 / 128;
    const int a = c < 0 ? -c : c;
    snprintf(text + n, room, c < 0 ? " -%d.%02d/%d} " : " %d.%02d/%d} ", a / 100, a % 100, depth);
  } else if (s == ScoreMateThreshold || s == -ScoreMateThreshold) {
    snprintf(text + n, room, " MATE N/%d} ", depth);
  } else {
    // Mating scores are odd and mated ones even; seen from white a mate
    // by black is odd and negative, so the distance is taken from |s|.
    snprintf(text + n, room, s > 0 ? " +M%d/%d} " : " -M%d/%d} ", (8193 - (s > 0 ? s : -s)) / 2, depth);
  }
  return text;
}

void WritePgnGame(FILE* f, int engineSide, int result) {
  WriteTags(f, engineSide, result);
  WriteSettings(f);
  WriteMoves(f);
  fprintf(f, "%s\n\n", resultTexts[result]);
}

int SaveFinishedGame() {
  // A game is saved once. "quit" right after "ucinewgame" finds the same
  // game again, and so does the end of a game after a "ucinewgame" whose
  // new position was refused (a search there adds to the old record).
  if (gameRecordNumber == savedRecord) return 1;
  savedRecord = gameRecordNumber;

  // The engine's side and score come from its last searched move.
  int side = 0, result = 0;
  const GameRecord* last = gameMoveRecord(gameMovesPlayed - 1);
  if (last != nullptr && !(last->flags & RecordSearchInfo)) last = gameMoveRecord(gameMovesPlayed - 2);
  if (last != nullptr && (last->flags & RecordSearchInfo)) {
    side = last->mover;
    result = ResultForScore(side == White ? last->score : -last->score);
    learnFromGame(result, side);
  }
  gameCounter++;

  if ((saveFlags & SaveAutoPgn) && gameMovesPlayed >= 2) {
    FILE* f = fopen(editionGameFile, "a");
    if (f != nullptr) {
      WritePgnGame(f, side, result);
      fclose(f);
    }
  }
  return 1;
}

namespace {

void AppendText(const char* fileName, const char* text) {
  FILE* f = fopen(fileName, "a");
  if (f == nullptr) return;
  fputs(text, f);
  fclose(f);
}

}  // namespace

void FatalError(const char* format, ...) {
  char text[2048];
  va_list args;
  va_start(args, format);
  vsnprintf(text, sizeof text, format, args);
  va_end(args);
  AppendText("debug.txt", text);
  AppendText(editionGameFile, text);
  SaveFinishedGame();
  exit(1);
}
