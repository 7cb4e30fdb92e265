// Book learning: the game's result and the engine's first scores after the
// book give a weight correction for its last book move, which is passed
// back, shrinking, to its earlier book moves.
#include "book/booklearn.h"

#include "board/history.h"
#include "board/position.h"
#include "book/bookfile.h"
#include "book/bookprobe.h"
#include "engine/options.h"

namespace {

constexpr int LearnFloor = 12;         // learning never leaves a weight below this
constexpr int LearnCeiling = 31;
constexpr int ScoredMovesAfterBook = 6;

// What the other moves of a position say about the one being learned.
struct Alternatives {
  bool someNotWinner = false, someNotLoser = false;
  int maxWeight = 0;
};

// Learning changes only the record's last 16-bit word, so only those two
// bytes are written: one write of two bytes at an even offset never spans
// two pages of the file, so a kill at any moment leaves each record either
// as it was or as learned, and the key and move are never touched.
void writeRecord(int index, const BookRecord& r) {
  const unsigned char b[2] = {static_cast<unsigned char>(r.learn), static_cast<unsigned char>(r.learn >> 8)};
  if (fseek(bookFile, 4 + 8L * index + 6, SEEK_SET) == 0 && fwrite(b, 1, 2, bookFile) == 2) fflush(bookFile);
}

bool bothSidesAtFullStrength() {
  bool seen[2] = {false, false};
  for (int k = 0; k < gameMovesPlayed; ++k) {
    const GameRecord* r = gameMoveRecord(k);
    if (r != nullptr && (r->flags & RecordFullStrength)) seen[r->mover & 1] = true;
  }
  return seen[0] && seen[1];
}

bool learningApplies() {
  return bookFile != nullptr && !(bookStatus & BookReadOnly) && (searchFlags & OptBookLearning) &&
         nodeRateLimit == 0 && ((searchFlags >> OptBookStyleShift) & 7) == 4 &&
         ((searchFlags >> OptSelectivityShift) & 7) >= 2 && (forwardPruning16 >> 4) >= 8 && !bothSidesAtFullStrength();
}

// The engine's last book move of the game, or -1.
int lastBookMove(int side) {
  for (int k = gameMovesPlayed - 1; k >= 0; --k) {
    const GameRecord* r = gameMoveRecord(k);
    if (r != nullptr && r->mover == side && (r->flags & RecordBookMove)) return k;
  }
  return -1;
}

// The correction from the engine's scores on its first moves after the
// book, against a window that rises by 16 per move.
int postBookCorrection(int side, int lastBook) {
  int low = side == White ? -64 : -128, high = side == White ? 64 : 0, seen = 0, delta = 0;
  for (int k = lastBook + 1; k < gameMovesPlayed && seen < ScoredMovesAfterBook; ++k) {
    const GameRecord* r = gameMoveRecord(k);
    if (r == nullptr || r->mover != side) continue;
    if (r->flags & RecordFullStrength) {
      if (r->score <= low) delta--;
      else if (r->score > high) delta++;
    }
    seen++;
    low += 16;
    high += 16;
  }
  return delta;
}

}  // namespace

uint32_t learnBookMove(uint32_t key, uint32_t keyHigh, uint32_t code, Move move) {
  int first = 0;
  if (!bookFind(key, &first)) return code;
  const uint16_t check = static_cast<uint16_t>(keyHigh & 0xFF00);
  int target = -1;
  Alternatives alt;
  for (int i = first; i < bookWindowCount && bookWindow[i].key == key; ++i) {
    const BookRecord& r = bookWindow[i];
    if ((r.learn & 0xFF00) != check) continue;
    if (target < 0 && ((r.move ^ move) & FromToMask) == 0) {
      target = i;
      continue;
    }
    const int w = r.learn & 31;
    if (w >= LearnFloor) {
      alt.someNotWinner |= !(r.learn & 0x80);
      alt.someNotLoser |= (r.learn & 0x60) != 0x60;
    }
    if (w > alt.maxWeight) alt.maxWeight = w;
  }
  if (target < 0) return code;

  BookRecord r = bookWindow[target];
  const int delta = static_cast<int>(code & 0xFF) - 0x40;
  const int w = r.learn & 31;
  int newW = w + delta;
  newW = newW < LearnFloor ? LearnFloor : (newW > LearnCeiling ? LearnCeiling : newW);

  // The previous book move gets less when this position had other good moves.
  if (delta < 0 && alt.maxWeight >= LearnFloor && (alt.someNotLoser || !(code & LearnLoss))) {
    code += 1;
    if (delta < -1 && alt.maxWeight > newW) code += 1;
  } else if (delta > 0 && alt.maxWeight >= LearnFloor && (alt.someNotWinner || !(code & LearnWin))) {
    code -= 1;
    if (delta > 1 && alt.maxWeight > newW) code -= 1;
  }
  if (newW == w && !(code & (LearnWin | LearnLoss))) return code;

  uint16_t learn = static_cast<uint16_t>((r.learn & ~31) | newW);
  if (code & LearnWin) learn |= 0x80;
  const uint16_t loss = static_cast<uint16_t>((code & LearnLoss) >> 8);
  if (loss > (learn & 0x60)) {
    learn = static_cast<uint16_t>((learn & ~0x60) | loss);
    if (alt.someNotLoser) code -= 0x2000;
  }
  if (learn != r.learn) {
    r.learn = learn;
    writeRecord(bookWindowFirst + target, r);
  }
  return code;
}

void learnFromGame(int result, int side) {
  if (!learningApplies()) return;
  int delta = 0;
  uint32_t bits = 0;
  if (result == side + 2) {
    delta = 2;
    bits = LearnWin;
  } else if (result >= 2) {
    delta = -4;
    bits = LearnLoss;
  } else if (result == 1) {
    delta = -1;
  }
  const int lastBook = lastBookMove(side);
  if (lastBook < 0) return;
  delta += postBookCorrection(side, lastBook);
  if (delta < 0) bits &= ~LearnWin;
  uint32_t code = static_cast<uint32_t>(delta + 0x40) | bits;
  for (int k = lastBook; k >= 0 && code != LearnNothing; --k) {
    const GameRecord* r = gameMoveRecord(k);
    if (r == nullptr || r->mover != side || !(r->flags & RecordBookMove)) continue;
    const uint32_t key = (r->keyLo & ~1u) | (r->mover == White ? 1u : 0u);
    code = learnBookMove(key, r->keyHi, code, r->move);
  }
}
