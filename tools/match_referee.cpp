// The referee of the match runner: the game position on the engine's own
// board, move checking against the legal move list, algebraic move text, and
// the end of a game by mate, stalemate, repetition, the fifty-move rule and
// insufficient material.
#include <cstdlib>
#include <cstring>

#include "board/history.h"
#include "board/movegen.h"
#include "board/setup.h"
#include "tools/match.h"

namespace match {

namespace {

// One position of the game since the last capture or pawn move: the board's
// key and, to rule out key collisions, the men on their squares.
struct SeenPosition {
  uint64_t key;
  uint32_t side;
  uint8_t men[64];  // colour * 8 + type, 0 for an empty square
};

std::vector<SeenPosition> seenSinceIrreversible;
int halfmoveClock = 0;

SeenPosition currentPosition() {
  SeenPosition p;
  p.key = pos.hashKey;
  p.side = pos.sideToMove;
  for (int sq = 0; sq < 64; ++sq)
    p.men[sq] = pos.colourOn[sq] == NoColour ? 0 : static_cast<uint8_t>(pos.colourOn[sq] * 8 + pos.pieceOn[sq]);
  return p;
}

bool samePosition(const SeenPosition& a, const SeenPosition& b) {
  return a.key == b.key && a.side == b.side && std::memcmp(a.men, b.men, 64) == 0;
}

int legalMoves(Move* list) { return generateLegalMoves(list); }

bool isCapture(Move m) {
  return (m & KindMask) == EnPassantKind || pos.colourOn[moveTo(m)] != NoColour;
}

// Castling as the king's move: the board may name the rook's square as the
// destination; UCI and the game file use the king's target square.
int kingTarget(Move m) {
  int from = moveFrom(m), to = moveTo(m);
  return rankOf(from) * 8 + (fileOf(to) > fileOf(from) ? 6 : 2);
}

std::string squareText(int sq) {
  std::string s;
  s += static_cast<char>('a' + fileOf(sq));
  s += static_cast<char>('1' + rankOf(sq));
  return s;
}

// Algebraic text of a legal move before it is made, without the check sign.
std::string sanBeforeMove(Move m, const Move* list, int count) {
  int from = moveFrom(m), to = moveTo(m);
  if ((m & KindMask) == CastleKind) return kingTarget(m) > from ? "O-O" : "O-O-O";
  int type = pos.pieceOn[from];
  std::string s;
  if (type == Pawn) {
    if (isCapture(m)) {
      s += static_cast<char>('a' + fileOf(from));
      s += 'x';
    }
    s += squareText(to);
    if (isPromotion(m)) {
      s += '=';
      s += pieceLetters[promotionType[(m >> 12) & 7]];
    }
    return s;
  }
  s += pieceLetters[type];
  // Disambiguation among the other men of the type that reach the square.
  bool ambiguous = false, fileShared = false, rankShared = false;
  for (int i = 0; i < count; ++i) {
    int other = moveFrom(list[i]);
    if (other == from || moveTo(list[i]) != to || pos.pieceOn[other] != type) continue;
    if ((list[i] & KindMask) == CastleKind) continue;
    ambiguous = true;
    if (fileOf(other) == fileOf(from)) fileShared = true;
    if (rankOf(other) == rankOf(from)) rankShared = true;
  }
  if (ambiguous) {
    if (!fileShared) s += static_cast<char>('a' + fileOf(from));
    else if (!rankShared) s += static_cast<char>('1' + rankOf(from));
    else s += squareText(from);
  }
  if (isCapture(m)) s += 'x';
  s += squareText(to);
  return s;
}

}  // namespace

std::string uciMoveText(Move m) {
  int from = moveFrom(m);
  int to = (m & KindMask) == CastleKind ? kingTarget(m) : moveTo(m);
  std::string s = squareText(from) + squareText(to);
  if (isPromotion(m)) s += static_cast<char>(pieceLetters[promotionType[(m >> 12) & 7] + 6]);
  return s;
}

bool refereeSetUp(const std::string& fen) {
  newGame();
  halfmoveClock = 0;
  if (!fen.empty()) {
    if (!parseFen(fen.c_str())) return false;
    // The halfmove clock is the fifth field of the FEN.
    const char* p = fen.c_str();
    for (int field = 0; field < 4 && *p; ++field) {
      while (*p && *p != ' ') ++p;
      while (*p == ' ') ++p;
    }
    if (*p >= '0' && *p <= '9') halfmoveClock = std::atoi(p);
  }
  seenSinceIrreversible.clear();
  seenSinceIrreversible.push_back(currentPosition());
  return true;
}

bool refereePlay(const std::string& uciMove, std::string* sanOut) {
  Move list[MaxMovesPerPly];
  int count = legalMoves(list);
  for (int i = 0; i < count; ++i) {
    Move m = list[i];
    if (uciMoveText(m) != uciMove) continue;
    std::string san = sanBeforeMove(m, list, count);
    bool irreversible = isCapture(m) || pos.pieceOn[moveFrom(m)] == Pawn;
    if (!playGameMove(m)) return false;
    halfmoveClock = irreversible ? 0 : halfmoveClock + 1;
    if (irreversible) seenSinceIrreversible.clear();
    seenSinceIrreversible.push_back(currentPosition());
    if (sanOut) {
      Move replies[MaxMovesPerPly];
      if (isInCheck()) san += legalMoves(replies) == 0 ? '#' : '+';
      *sanOut = san;
    }
    return true;
  }
  return false;
}

int refereeSideToMove() { return static_cast<int>(pos.sideToMove); }

int refereeLegalMoveCount() {
  Move list[MaxMovesPerPly];
  return legalMoves(list);
}

int refereeHalfmoveClock() { return halfmoveClock; }

int refereeOccurrences() {
  SeenPosition now = currentPosition();
  int n = 0;
  for (const SeenPosition& p : seenSinceIrreversible)
    if (samePosition(p, now)) ++n;
  return n;
}

bool insufficientMaterial() {
  int minors = 0, knights = 0, lightBishops = 0, darkBishops = 0;
  for (int sq = 0; sq < 64; ++sq) {
    if (pos.colourOn[sq] == NoColour) continue;
    switch (pos.pieceOn[sq]) {
      case King: break;
      case Knight: ++minors; ++knights; break;
      case Bishop:
        ++minors;
        ((rankOf(sq) + fileOf(sq)) & 1 ? lightBishops : darkBishops)++;
        break;
      default: return false;  // a pawn, rook or queen can still mate
    }
  }
  if (minors <= 1) return true;
  return knights == 0 && (lightBishops == 0 || darkBishops == 0);
}

GameEnd refereeGameEnd() {
  // Mate and stalemate first: a mate on the hundredth half-move still counts.
  if (refereeLegalMoveCount() == 0) return isInCheck() ? GameEnd::Checkmate : GameEnd::Stalemate;
  if (insufficientMaterial()) return GameEnd::InsufficientMaterial;
  if (refereeOccurrences() >= 3) return GameEnd::Repetition;
  if (halfmoveClock >= 100) return GameEnd::FiftyMoves;
  return GameEnd::None;
}

}  // namespace match
