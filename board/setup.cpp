// Setting up the board: the start position, FEN text (with rook-file
// castling letters for Chess960) and the castling, en-passant and clock
// state that goes with it. A FEN that the board cannot hold is refused
// before anything is changed, so the previous position stays in force.
#include "board/setup.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "board/build.h"
#include "board/geometry.h"
#include "board/history.h"
#include "board/makemove.h"
#include "board/movegen.h"
#include "board/position.h"

uint8_t gameSideToMove = White;
uint32_t gameMoveNumber = 0;
uint8_t gameStartedFromSetUp = 0;
char setUpFen[128] = "";
const char* fenRejection = nullptr;

namespace {

// The standard start, a1..h8: piece types and colours (2 = empty).
constexpr uint8_t startPieceOn[64] = {
    4, 2, 3, 5, 6, 3, 2, 4, 1, 1, 1, 1, 1, 1, 1, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
    0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 1, 1, 1, 1, 4, 2, 3, 5, 6, 3, 2, 4};
constexpr uint8_t startColourOn[64] = {
    0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2,
    2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1};

// Castle word bits.
constexpr uint32_t EpSquareMask = 0x3F;
constexpr uint32_t EpGiven = 0x800;
constexpr uint32_t CastleByFile = 0x4000;

// Right bit of a side's wing (0 queenside, 1 kingside).
constexpr uint32_t rightBit(int side, int kingside) {
  return side == White ? (kingside ? 0x200u : 0x400u) : (kingside ? 0x1000u : 0x2000u);
}
// Shift of the 3-bit rook file of a side's wing; its presence flag is bit shift + 3.
constexpr int fileShift(int side, int kingside) {
  return side == White ? (kingside ? 24 : 28) : (kingside ? 16 : 20);
}
constexpr uint32_t AllRights = 0x3600;

int backRankOf(int side) { return side == White ? 0 : 7; }

// ---- FEN text -------------------------------------------------------------

constexpr int MaxFenText = 1024;
constexpr int MaxFields = 13;
constexpr int MaxFieldLength = 31;

struct FenFields {
  char text[MaxFields][MaxFieldLength + 1];
  int count;
};

bool isFieldChar(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-';
}

// Cuts every "{...}" comment (an open one to the end of the text) out of
// the buffer in place.
void cutComments(char* text) {
  char* out = text;
  for (const char* in = text; *in != '\0'; ++in) {
    if (*in == '{') {
      while (*in != '\0' && *in != '}') ++in;
      if (*in == '\0') break;
      continue;
    }
    *out++ = *in;
  }
  *out = '\0';
}

// Why the last FEN was refused, for the front end's message.
char fenRejectText[80];

__attribute__((format(printf, 1, 2))) bool rejectFen(const char* format, ...) {
  va_list args;
  va_start(args, format);
  vsnprintf(fenRejectText, sizeof fenRejectText, format, args);
  va_end(args);
  fenRejection = fenRejectText;
  return false;
}

constexpr int FirstClockField = 11;  // fields 12 and 13: halfmove clock, fullmove number

// Splits into runs of letters, digits and '-'. A clock field longer than
// a field holds keeps its first characters, with leading zeros dropped, so
// that its number saturates when it is read; any other overlong field
// refuses the text.
bool splitFields(const char* text, FenFields& f) {
  f.count = 0;
  const char* p = text;
  while (f.count < MaxFields) {
    while (*p != '\0' && !isFieldChar(*p)) ++p;
    if (*p == '\0') break;
    char* out = f.text[f.count];
    const bool clock = f.count >= FirstClockField;
    int n = 0;
    for (; isFieldChar(*p); ++p) {
      if (clock && n == 1 && out[0] == '0' && *p >= '0' && *p <= '9') n = 0;
      if (n < MaxFieldLength) out[n++] = *p;
      else if (!clock) return rejectFen("field %d is longer than 31 characters", f.count + 1);
    }
    out[n] = '\0';
    f.count++;
  }
  return true;
}

// A board under construction, before it is written into the position.
struct ScratchBoard {
  uint8_t type[64];
  uint8_t colour[64];
};

bool parseRanks(const FenFields& f, ScratchBoard& b) {
  std::memset(b.type, None, sizeof b.type);
  std::memset(b.colour, NoColour, sizeof b.colour);
  for (int field = 0; field < 8; ++field) {
    const int rank = 7 - field;
    int file = 0;
    for (const char* c = f.text[field]; *c != '\0'; ++c) {
      if (*c >= '1' && *c <= '8') {
        file += *c - '0';
        if (file > 8) return rejectFen("rank %d has more than 8 squares", rank + 1);
        continue;
      }
      const char* letter = *c != '\0' ? std::strchr(pieceLetters + 1, *c) : nullptr;
      if (letter == nullptr) return rejectFen("rank %d holds '%c', neither a piece nor a square count", rank + 1, *c);
      if (file >= 8) return rejectFen("rank %d has more than 8 squares", rank + 1);
      const int index = static_cast<int>(letter - pieceLetters);
      b.type[rank * 8 + file] = static_cast<uint8_t>(index > 6 ? index - 6 : index);
      b.colour[rank * 8 + file] = index > 6 ? Black : White;
      ++file;
    }
  }
  return true;
}

int findKing(const ScratchBoard& b, int side) {
  for (int q = 0; q < 64; ++q)
    if (b.type[q] == King && b.colour[q] == side) return q;
  return NoSquare;
}

// Whether side a attacks square k on the scratch board.
bool scratchAttacks(const ScratchBoard& b, int a, int k) {
  auto holds = [&](int q, int type) { return q != 255 && b.colour[q] == a && b.type[q] == type; };
  const int pawnFrom = a == White ? 6 : 4;  // a's pawns attack k from these two directions
  if (holds(nextSquare[pawnFrom][k], Pawn) || holds(nextSquare[pawnFrom + 1][k], Pawn)) return true;
  for (const RayEntry* r = rayList[Knight][k]; r->square != 255; ++r)
    if (holds(r->square, Knight)) return true;
  for (const RayEntry* r = rayList[King][k]; r->square != 255; ++r)
    if (holds(r->square, King)) return true;
  for (int d = 0; d < 8; ++d)
    for (int q = nextSquare[d][k]; q != 255; q = nextSquare[d][q]) {
      if (b.colour[q] == NoColour) continue;
      if (b.colour[q] == a && (b.type[q] == Queen || b.type[q] == (d < 4 ? Rook : Bishop))) return true;
      break;
    }
  return false;
}

// One king per side, no pawn on the first or last rank, no more promoted
// men than missing pawns, and the side to move cannot take the other king.
bool boardIsLegal(const ScratchBoard& b, int side) {
  for (int s = 0; s < 2; ++s) {
    const char* colour = s == White ? "white" : "black";
    int count[7] = {};
    for (int q = 0; q < 64; ++q)
      if (b.colour[q] == s) {
        ++count[b.type[q]];
        if (b.type[q] == Pawn && (rankOf(q) == 0 || rankOf(q) == 7))
          return rejectFen("a pawn stands on rank %d", rankOf(q) + 1);
      }
    auto atLeast = [](int n, int least) { return n > least ? n : least; };
    if (count[King] != 1) return rejectFen("%s has %d kings", colour, count[King]);
    if (count[Pawn] + atLeast(count[Knight], 2) + atLeast(count[Bishop], 2) + atLeast(count[Rook], 2) +
            atLeast(count[Queen], 1) > 15)
      return rejectFen("%s has more promoted men than missing pawns", colour);
  }
  if (scratchAttacks(b, side, findKing(b, side ^ 1))) return rejectFen("the side to move can take the king");
  return true;
}

// One castling right as written: wing, and the rook file if named.
struct WrittenRight {
  bool given = false;
  bool byFile = false;
  int file = 0;
};

// Keeps a right only when its king stands on the back rank and an own rook
// on the wing's side of it: a standard letter needs king e1/e8 and the
// corner rook; with the king off the e-file it names the outermost rook of
// that wing (as in X-FEN). A rook named by file is taken as named.
uint32_t sanitizedRight(const ScratchBoard& b, int s, int kingside, const WrittenRight& w) {
  if (!w.given) return 0;
  const int king = findKing(b, s), base = backRankOf(s) * 8;
  if (rankOf(king) != backRankOf(s)) return 0;
  auto ownRook = [&](int q) { return b.type[q] == Rook && b.colour[q] == s; };
  auto onWing = [&](int q) { return kingside ? q > king : q < king; };
  int rook = NoSquare;
  if (w.byFile) {
    if (ownRook(base + w.file) && onWing(base + w.file)) rook = base + w.file;
  } else if (fileOf(king) == 4) {
    const int corner = base + (kingside ? 7 : 0);
    if (ownRook(corner)) return rightBit(s, kingside);
  } else {
    for (int k = 0; k < 8 && rook == NoSquare; ++k) {
      const int q = base + (kingside ? 7 - k : k);
      if (onWing(q) && ownRook(q)) rook = q;
    }
  }
  if (rook == NoSquare) return 0;
  const int shift = fileShift(s, kingside);
  return rightBit(s, kingside) | CastleByFile | (static_cast<uint32_t>(fileOf(rook)) << shift) |
         (1u << (shift + 3));
}

// Each letter is checked as it comes; the first letter that holds for a
// wing gives its right, later ones for the same wing are ignored.
uint32_t parseCastling(const ScratchBoard& b, const char* field) {
  const int kings[2] = {findKing(b, White), findKing(b, Black)};
  uint32_t word = 0;
  for (const char* c = field; *c != '\0'; ++c) {
    const int side = (*c >= 'a' && *c <= 'z') ? Black : White;
    const char upper = side == Black ? static_cast<char>(*c - 'a' + 'A') : *c;
    WrittenRight w;
    w.given = true;
    int kingside;
    if (upper == 'K' || upper == 'Q') {
      kingside = upper == 'K';
    } else if (upper >= 'A' && upper <= 'H') {
      w.byFile = true;
      w.file = upper - 'A';
      kingside = backRankOf(side) * 8 + w.file > kings[side];
    } else {
      continue;
    }
    if (!(word & rightBit(side, kingside))) word |= sanitizedRight(b, side, kingside, w);
  }
  return word;
}

// Leading decimal number of the text, held at `most`.
uint32_t leadingNumber(const char* text, uint32_t most) {
  uint64_t value = 0;
  for (const char* c = text; *c >= '0' && *c <= '9'; ++c)
    if ((value = value * 10 + static_cast<uint64_t>(*c - '0')) > most) return most;
  return static_cast<uint32_t>(value);
}

// The FEN of the position just set up, for the game file's FEN tag: what
// the board holds, not the text as given, so that the tag is a FEN every
// reader takes (foreign separators, dropped en-passant squares and
// unusable castling letters never reach it). Chess960 rights are written
// by rook file.
void rememberFen(uint32_t castleWord, uint32_t halfmove, uint32_t fullmove) {
  char* out = setUpFen;
  for (int rank = 7; rank >= 0; --rank) {
    int empty = 0;
    for (int file = 0; file < 8; ++file) {
      const int q = rank * 8 + file;
      if (pos.colourOn[q] == NoColour) {
        ++empty;
        continue;
      }
      if (empty > 0) *out++ = static_cast<char>('0' + empty);
      empty = 0;
      *out++ = pieceLetters[pos.pieceOn[q] + (pos.colourOn[q] == Black ? 6 : 0)];
    }
    if (empty > 0) *out++ = static_cast<char>('0' + empty);
    if (rank > 0) *out++ = '/';
  }
  *out++ = ' ';
  *out++ = pos.sideToMove == White ? 'w' : 'b';
  *out++ = ' ';
  const char* castling = out;
  const bool byFile = (optionFlags & Chess960Flag) != 0;
  for (int s = 0; s < 2; ++s)
    for (int kingside = 1; kingside >= 0; --kingside) {
      if (!(castleWord & rightBit(s, kingside))) continue;
      char letter = kingside ? 'K' : 'Q';
      if (byFile) letter = static_cast<char>('A' + fileOf(kingside ? pos.castleRookShort[s] : pos.castleRookLong[s]));
      *out++ = s == White ? letter : static_cast<char>(letter - 'A' + 'a');
    }
  if (out == castling) *out++ = '-';
  *out++ = ' ';
  if (pos.epSquare != 0) {
    *out++ = static_cast<char>('a' + fileOf(static_cast<int>(pos.epSquare)));
    *out++ = static_cast<char>('1' + rankOf(static_cast<int>(pos.epSquare)));
  } else {
    *out++ = '-';
  }
  snprintf(out, sizeof setUpFen - static_cast<size_t>(out - setUpFen), " %u %u", halfmove, fullmove);
}

// ---- Board stage --------------------------------------------------------------

void applyCastling(uint32_t word) {
  // Corner squares whose squareKey marks a missing right: queenside, kingside.
  constexpr int corner[2][2] = {{0, 7}, {56, 63}};
  for (int s = 0; s < 2; ++s) {
    if (word & (rightBit(s, 0) | rightBit(s, 1))) pos.moveCount[kingSquare(s)] = 0;
    for (int kingside = 0; kingside < 2; ++kingside) {
      const int rook = kingside ? pos.castleRookShort[s] : pos.castleRookLong[s];
      if (word & rightBit(s, kingside)) {
        pos.moveCount[rook] = 0;
      } else {
        pos.moveCount[rook] = 1;
        pos.hashKey ^= squareKey[corner[s][kingside]];
      }
    }
  }
}

// The en-passant square counts only when the pawn that passed it stands
// in front of it, its start square is empty, and a pawn can take it.
void applyEnPassant(uint32_t word, int side) {
  if (!(word & EpGiven)) return;
  const int ep = static_cast<int>(word & EpSquareMask);
  if (rankOf(ep) != (side == White ? 5 : 2)) return;
  const int passed = ep - pawnStep[side], start = ep + pawnStep[side];
  if (pos.colourOn[ep] != NoColour || pos.colourOn[start] != NoColour) return;
  if (pos.pieceOn[passed] != Pawn || pos.colourOn[passed] != (side ^ 1)) return;
  if ((pos.attackTable[side].sq[ep].directCounts & 0xC00) == 0) return;
  pos.epSquare = static_cast<uint32_t>(ep);
  pos.hashKey ^= squareKey[ep];
}

void setRookSquares(uint32_t word) {
  pos.castleRookLong[White] = 0;
  pos.castleRookShort[White] = 7;
  pos.castleRookLong[Black] = 56;
  pos.castleRookShort[Black] = 63;
  optionFlags &= ~Chess960Flag;
  searchFlags &= ~Chess960Flag;
  if (word <= 0xFFFF) return;
  optionFlags |= Chess960Flag;
  searchFlags |= Chess960Flag;
  for (int s = 0; s < 2; ++s)
    for (int kingside = 0; kingside < 2; ++kingside) {
      const int shift = fileShift(s, kingside);
      if (!(word & (1u << (shift + 3)))) continue;
      const uint8_t sq = static_cast<uint8_t>(backRankOf(s) * 8 + ((word >> shift) & 7));
      (kingside ? pos.castleRookShort : pos.castleRookLong)[s] = sq;
    }
}

// Everything a FEN set-up may change, kept so that a failure restores it.
struct SavedGame {
  Position board;
  BoardTables tables;  // the board's tables, which it only points at
  GameRecord history[GameHistorySize];
  int topIndex, floor, moveTotal, movesPlayed;
  uint32_t serial, recordNumber;
  Move moves[GameMoveListSize];
  uint32_t root, fiftyLimit, options, search, moveNumber;
  uint8_t side, fromSetUp;
  char fen[sizeof setUpFen];
  ScoredMove* listStart[MaxPly + 1];
};
SavedGame saved;

void saveGame() {
  std::memcpy(&saved.board, &pos, sizeof pos);
  saved.tables = *pos.tables;
  std::memcpy(saved.history, gameHistory, sizeof gameHistory);
  saved.topIndex = static_cast<int>(gameTop - gameHistory);
  saved.floor = gameHistoryFloor;
  saved.moveTotal = gameMoveTotal;
  saved.movesPlayed = gameMovesPlayed;
  saved.serial = gameRecordSerial;
  saved.recordNumber = gameRecordNumber;
  std::memcpy(saved.moves, gameMoves, sizeof gameMoves);
  saved.root = rootPly;
  saved.fiftyLimit = fiftyMoveLimit;
  saved.options = optionFlags;
  saved.search = searchFlags;
  saved.moveNumber = gameMoveNumber;
  saved.side = gameSideToMove;
  saved.fromSetUp = gameStartedFromSetUp;
  std::memcpy(saved.fen, setUpFen, sizeof setUpFen);
  std::memcpy(saved.listStart, moveListStart, sizeof moveListStart);
}

void restoreGame() {
  std::memcpy(&pos, &saved.board, sizeof pos);
  *pos.tables = saved.tables;
  std::memcpy(gameHistory, saved.history, sizeof gameHistory);
  gameTop = gameHistory + saved.topIndex;
  gameHistoryFloor = saved.floor;
  gameMoveTotal = saved.moveTotal;
  gameMovesPlayed = saved.movesPlayed;
  gameRecordSerial = saved.serial;
  gameRecordNumber = saved.recordNumber;
  std::memcpy(gameMoves, saved.moves, sizeof gameMoves);
  rootPly = saved.root;
  fiftyMoveLimit = saved.fiftyLimit;
  optionFlags = saved.options;
  searchFlags = saved.search;
  gameMoveNumber = saved.moveNumber;
  gameSideToMove = saved.side;
  gameStartedFromSetUp = saved.fromSetUp;
  std::memcpy(setUpFen, saved.fen, sizeof setUpFen);
  std::memcpy(moveListStart, saved.listStart, sizeof moveListStart);
}

}  // namespace

void newGame() {
  gameSideToMove = White;
  gameMoveNumber = 0;
  gameStartedFromSetUp = 0;
  setUpFen[0] = '\0';
  setUpPosition(2, AllRights);
}

bool setUpPosition(int mode, uint32_t castleWord, int halfmoveClock) {
  for (ScoredMove*& start : moveListStart) start = moveBuffer;
  int side = mode & 1;
  if (mode > 1) {
    std::memcpy(pos.pieceOn, startPieceOn, 64);
    std::memcpy(pos.colourOn, startColourOn, 64);
    side = White;
  }
  setRookSquares(castleWord);
  buildPosition(side);
  applyCastling(castleWord);
  applyEnPassant(castleWord, side);
  fiftyMoveLimit = 99;
  if (pos.attackTable[side].sq[kingSquare(side ^ 1)].directCounts != 0) return false;
  // The set-up record holds the whole key, castling and en passant included.
  gameHistory[1].keyLo = static_cast<uint32_t>(pos.hashKey);
  gameHistory[1].keyHi = static_cast<uint32_t>(pos.hashKey >> 32);
  if (halfmoveClock > 0) setHalfmoveClock(halfmoveClock);
  return true;
}

uint32_t parseFen(const char* text) {
  fenRejection = nullptr;
  static char buffer[MaxFenText];
  if (text == nullptr || std::strlen(text) >= sizeof buffer) return rejectFen("the text is too long"), 0u;
  std::strcpy(buffer, text);
  cutComments(buffer);
  static FenFields f;
  if (!splitFields(buffer, f)) return 0;
  if (f.count < 11) return rejectFen("%d fields where at least 11 are needed", f.count), 0u;

  static ScratchBoard b;
  if (!parseRanks(f, b)) return 0;
  const int side = std::strcmp(f.text[8], "w") == 0 ? White : Black;
  if (!boardIsLegal(b, side)) return 0;
  uint32_t word = std::strcmp(f.text[9], "-") == 0 ? 0 : parseCastling(b, f.text[9]);

  // En passant and the two clocks; a field that does not fit ends the text.
  uint32_t halfmove = 0, fullmove = 1;
  const char* ep = f.text[10];
  bool more = true;
  if (std::strcmp(ep, "-") != 0) {
    const bool wellFormed = ep[0] >= 'a' && ep[0] <= 'h' && ep[1] >= '1' && ep[1] <= '8' && ep[2] == '\0';
    const int sq = wellFormed ? (ep[1] - '1') * 8 + (ep[0] - 'a') : 0;
    more = wellFormed && rankOf(sq) == (side == White ? 5 : 2);
    if (more) word |= EpGiven | static_cast<uint32_t>(sq);
  }
  if (more && f.count > 11) {
    more = f.text[11][0] >= '0' && f.text[11][0] <= '9';
    if (more) halfmove = leadingNumber(f.text[11], 1000);
  }
  if (more && f.count > 12 && f.text[12][0] >= '0' && f.text[12][0] <= '9') {
    fullmove = leadingNumber(f.text[12], 65535);
    if (fullmove == 0) fullmove = 1;
  }

  saveGame();
  std::memcpy(pos.pieceOn, b.type, 64);
  std::memcpy(pos.colourOn, b.colour, 64);
  if (!setUpPosition(side, word, static_cast<int>(halfmove))) {
    restoreGame();
    return rejectFen("the side to move can take the king"), 0u;
  }
  gameSideToMove = static_cast<uint8_t>(side);
  gameMoveNumber = 2 * fullmove - 2 + static_cast<uint32_t>(side);
  gameStartedFromSetUp = 1;
  rememberFen(word, halfmove, fullmove);
  return 1;
}

namespace {

// Castling written as O-O / O-O-O (or with zeros): the king's move in the
// board's own form, the rook's square as target in Chess960.
Move castlingText(const char* text, size_t n) {
  const bool zeros = text[0] == '0';
  const char mark = zeros ? '0' : 'O';
  const bool shortForm = n == 3 && text[1] == '-' && text[2] == mark;
  const bool longForm = n == 5 && text[1] == '-' && text[2] == mark && text[3] == '-' && text[4] == mark;
  if (!shortForm && !longForm) return 0;
  const int s = static_cast<int>(pos.sideToMove), king = kingSquare(s);
  int to;
  if (searchFlags & Chess960Flag)
    to = shortForm ? pos.castleRookShort[s] : pos.castleRookLong[s];
  else
    to = shortForm ? king + 2 : king - 2;
  return (to >= 0 && to < 64) ? makeMoveWord(king, to, QuietKind) : 0;
}

// The one man of the type and side to move that can go to `to`, read from
// the attack table and narrowed by the given origin file and rank; a man
// pinned off the line to `to` does not count. NoSquare for none or several.
int uniqueOrigin(int type, int to, int fromFile, int fromRank) {
  const int s = static_cast<int>(pos.sideToMove), king = kingSquare(s);
  int found = NoSquare;
  for (PieceSet a = pos.attackTable[s].sq[to].directAttackers & pos.pieceSet[s]; a; a &= a - 1) {
    const int sq = pos.pieceList[s][__builtin_ctz(a)];
    if (pos.pieceOn[sq] != type) continue;
    if ((fromFile >= 0 && fileOf(sq) != fromFile) || (fromRank >= 0 && rankOf(sq) != fromRank)) continue;
    if (type != King && isPinned(sq, s ^ 1) && directionTo[king][to] != directionTo[king][sq]) continue;
    if (found != NoSquare) return NoSquare;
    found = sq;
  }
  return found;
}

// Origin of a pawn push onto the empty square `to`.
int pushOrigin(int to, int fromFile, int fromRank) {
  const int s = static_cast<int>(pos.sideToMove);
  if (fromFile >= 0 && fromFile != fileOf(to)) return NoSquare;
  const int one = to - pawnStep[s];
  if (one < 0 || one >= 64) return NoSquare;
  int origin = NoSquare;
  if (pos.pieceOn[one] == Pawn && pos.colourOn[one] == s) {
    origin = one;
  } else if (pos.colourOn[one] == NoColour && rankOf(to) == (s == White ? 3 : 4)) {
    const int two = one - pawnStep[s];
    if (pos.pieceOn[two] == Pawn && pos.colourOn[two] == s) origin = two;
  }
  if (origin != NoSquare && fromRank >= 0 && rankOf(origin) != fromRank) return NoSquare;
  return origin;
}

}  // namespace

Move parseMoveText(const char* text) {
  char t[16];
  size_t n = text != nullptr ? std::strlen(text) : 0;
  if (n == 0 || n >= sizeof t) return 0;
  std::memcpy(t, text, n + 1);
  while (n > 0 && std::strchr("+;#!?", t[n - 1]) != nullptr) t[--n] = '\0';
  if (n == 0) return 0;
  if (Move castle = castlingText(t, n)) return castle;

  Move promotion = 0;
  switch (t[n - 1]) {
    case 'N': case 'n': promotion = PromoteKnight; break;
    case 'B': case 'b': promotion = PromoteBishop; break;
    case 'R': case 'r': promotion = PromoteRook; break;
    case 'Q': case 'q': promotion = PromoteQueen; break;
    default: break;
  }
  if (promotion) {
    --n;
    if (n > 0 && t[n - 1] == '=') --n;
  }
  if (n < 2) return 0;
  const char fileChar = t[n - 2], rankChar = t[n - 1];
  if (fileChar < 'a' || fileChar > 'h' || rankChar < '1' || rankChar > '8') return 0;
  const int to = (rankChar - '1') * 8 + (fileChar - 'a');
  n -= 2;
  if (n > 0 && (t[n - 1] == 'x' || t[n - 1] == '-')) --n;
  int fromRank = -1, fromFile = -1;
  if (n > 0 && t[n - 1] >= '1' && t[n - 1] <= '8') fromRank = t[--n] - '1';
  if (n > 0 && t[n - 1] >= 'a' && t[n - 1] <= 'h') fromFile = t[--n] - 'a';
  int type = Pawn;
  bool lettered = false;
  if (n > 0) {
    const char c = t[0] >= 'a' && t[0] <= 'z' ? static_cast<char>(t[0] - 'a' + 'A') : t[0];
    const char* letter = n == 1 ? std::strchr("PNBRQK", c) : nullptr;
    if (letter == nullptr || c == '\0') return 0;
    type = static_cast<int>(letter - "PNBRQK") + 1;
    lettered = true;
  }

  int from;
  if (fromFile >= 0 && fromRank >= 0) {
    from = fromRank * 8 + fromFile;
    if (lettered && pos.pieceOn[from] != type) return 0;
  } else if (type == Pawn && pos.colourOn[to] == NoColour &&
             (pos.epSquare == 0 || static_cast<uint32_t>(to) != pos.epSquare)) {
    from = pushOrigin(to, fromFile, fromRank);
  } else {
    from = uniqueOrigin(type, to, fromFile, fromRank);
  }
  if (from == NoSquare) return 0;
  return makeMoveWord(from, to, promotion);
}
