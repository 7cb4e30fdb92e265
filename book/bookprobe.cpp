// The book probe: a binary search over the sorted records on disk, then a
// weighted random choice among the legal book moves of the root position.
#include "book/bookprobe.h"

#include "board/makemove.h"
#include "board/movegen.h"
#include "board/position.h"
#include "book/bookfile.h"
#include "engine/options.h"
#include "search/think.h"

BookRecord bookWindow[BookWindowSize];
int bookWindowFirst = 0;
int bookWindowCount = 0;

namespace {

constexpr int BookLeavePlies = 8;        // the book is left for good this many plies after its last hit
constexpr int TournamentShift[4] = {0, 1, 2, 4};  // weight reduction by loss marks 0, 0x20, 0x40, 0x60

// The shared generator's low bits repeat with a short period (the low k
// bits cycle every 2^k draws), which would tie consecutive draws together
// and skew the weighted choice; the book takes bits from the upper half.
uint32_t draw() { return nextRandom() >> 16; }

BookRecord decode(const unsigned char* b) {
  BookRecord r;
  r.key = b[0] | (b[1] << 8) | (b[2] << 16) | (static_cast<uint32_t>(b[3]) << 24);
  r.move = static_cast<uint16_t>(b[4] | (b[5] << 8));
  r.learn = static_cast<uint16_t>(b[6] | (b[7] << 8));
  return r;
}

// The draw of one record under a style; 0 when its class is too low. The
// random words are drawn only for records that can be chosen, Wild's two
// in that order.
int32_t styleScore(int style, int w, const BookRecord& r, bool learning) {
  if (w / 4 < bookStyleMinClass(style)) return 0;
  const uint32_t r1 = draw();
  const uint32_t r2 = style == 1 ? draw() : 0;
  return bookStyleScore(style, w, r.learn, learning, r1, r2);
}

// The first root move with the record's from/to, or null.
const ScoredMove* rootMoveFor(const BookRecord& r, const ScoredMove* start, const ScoredMove* end) {
  for (const ScoredMove* m = start; m < end; ++m)
    if (m->move != 0 && (m->move & FromToMask) == (r.move & FromToMask)) return m;
  return nullptr;
}

// Whether a book move may be played: legal and not repeating a position.
// Sets *check when it gives check.
bool playable(Move m, bool* check) {
  makeMove(m);
  const bool ok = !moverLeftKingInCheck() && countRepetitions() == 0;
  *check = (pos.plyTop->flags & 0x8000) != 0;
  unmakeMove();
  return ok;
}

}  // namespace

int bookStyleMinClass(int style) {
  constexpr int minClass[4] = {1, 2, 3, 3};  // Wild, Wide, Varied, Tournament
  return minClass[(style >= 1 && style <= 4 ? style : 4) - 1];
}

int32_t bookStyleScore(int style, int w, uint16_t learn, bool learning, uint32_t r1, uint32_t r2) {
  const int c = w / 4;
  if (c < bookStyleMinClass(style)) return 0;
  switch (style) {
    case 1:
      return static_cast<int32_t>((r1 & 15) + w) * static_cast<int32_t>((r2 & 127) + 1);
    case 2:
      return static_cast<int32_t>((r1 & 255) + 1) * w;
    case 3:
      return static_cast<int32_t>((r1 & 7) + 1) * w;
    default: {
      // Each class doubles the weight; a win mark doubles it again and loss
      // marks cut it by 2, 4 or 16.
      const int32_t b = 1 << c;
      int32_t t = (((w & 3) * b) & ~3) + 4 * b;
      t *= 256;
      if (learning) {
        if (learn & 0x80) t *= 2;
        t >>= TournamentShift[(learn >> 5) & 3];
      }
      return static_cast<int32_t>((r1 & 63) + 1) * t;
    }
  }
}

uint32_t bookKey() {
  return (static_cast<uint32_t>(pos.hashKey) & ~1u) | (pos.sideToMove == White ? 1u : 0u);
}

uint8_t bookKeyCheck() { return static_cast<uint8_t>(pos.hashKey >> 40); }

int bookReadWindow(uint32_t firstIndex, int count) {
  bookWindowFirst = static_cast<int>(firstIndex);
  bookWindowCount = 0;
  if (bookFile == nullptr || firstIndex >= recordCount) return 0;
  if (static_cast<uint32_t>(count) > recordCount - firstIndex) count = static_cast<int>(recordCount - firstIndex);
  if (count > BookWindowSize) count = BookWindowSize;
  unsigned char bytes[8 * BookWindowSize];
  if (fseek(bookFile, 4 + 8L * firstIndex, SEEK_SET) != 0) return 0;
  const int got = static_cast<int>(fread(bytes, 8, static_cast<size_t>(count), bookFile));
  for (int i = 0; i < got; ++i) bookWindow[i] = decode(bytes + 8 * i);
  bookWindowCount = got;
  return got;
}

bool bookFind(uint32_t key, int* index) {
  int64_t lo = 0, hi = recordCount;
  while (lo <= hi) {
    const int64_t mid = (lo + hi) / 2;
    if (mid >= recordCount) return false;
    if (bookReadWindow(static_cast<uint32_t>(mid), 1) != 1) return false;  // a short read ends the search
    const uint32_t k = bookWindow[0].key;
    if (k == key) {
      const int64_t first = mid > 20 ? mid - 20 : 0;
      if (bookReadWindow(static_cast<uint32_t>(first), BookWindowSize) <= mid - first) return false;
      int i = static_cast<int>(mid - first);
      while (i > 0 && bookWindow[i - 1].key == key) --i;
      *index = i;
      return true;
    }
    if (key < k) hi = mid - 1;
    else lo = mid + 1;
  }
  return false;
}

Move bookProbe(uint32_t flags, const ScoredMove* start, const ScoredMove* end) {
  const int style = static_cast<int>((flags >> OptBookStyleShift) & 7);
  if (style == 0 || !(flags & OptOwnBook) || bookFile == nullptr) return 0;
  const int32_t ply = static_cast<int32_t>(pos.plyCount);
  if (lastBookPly != -1 && ply > lastBookPly + BookLeavePlies) return 0;
  const uint32_t key = bookKey();
  int i = 0;
  if (!bookFind(key, &i)) return 0;
  if (ply > lastBookPly) lastBookPly = ply;

  const bool learning = (flags & OptBookLearning) != 0;
  int32_t bestScore = 0;
  Move best = 0;
  for (; i < bookWindowCount && bookWindow[i].key == key; ++i) {
    const BookRecord& r = bookWindow[i];
    if ((r.learn >> 8) != bookKeyCheck()) continue;  // another position with the same key word
    const ScoredMove* m = rootMoveFor(r, start, end);
    bool check = false;
    if (m == nullptr || !playable(m->move, &check)) continue;
    const int w = learning ? (r.learn & 31) : ((r.move >> 12) & 7) * 4;
    const int32_t s = styleScore(style, w, r, learning);
    if (s > bestScore) {
      bestScore = s;
      best = static_cast<Move>(m->move | (check ? CheckMark : 0));
    }
  }
  return best;
}
