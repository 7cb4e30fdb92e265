// Test helpers for the board: FEN set-up and an independent legal-move
// generator that reads only pieceOn and colourOn (plus moveCount and the
// castle rook squares for castling), the oracle the incremental code is
// checked against.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "board/build.h"
#include "board/setup.h"
#include "board/geometry.h"
#include "board/makemove.h"
#include "board/position.h"
#include "board/types.h"

namespace boardtest {

inline int squareOf(const char* s) { return (s[1] - '1') * 8 + (s[0] - 'a'); }

// Sets up a FEN through the engine's own set-up (the oracle below reads only
// the board it leaves).
inline void loadFen(const std::string& fen) {
  if (parseFen(fen.c_str()) == 0) ADD_FAILURE() << "FEN refused: " << fen;
}

// ---------------------------------------------------------------------------
// Brute-force oracle.

inline bool attackedBy(int side, int q) {
  const int f = fileOf(q), r = rankOf(q);
  auto at = [&](int df, int dr, int type) {
    const int ff = f + df, rr = r + dr;
    if (ff < 0 || ff > 7 || rr < 0 || rr > 7) return false;
    const int s = rr * 8 + ff;
    return pos.colourOn[s] == side && pos.pieceOn[s] == type;
  };
  const int back = side == White ? -1 : 1;
  if (at(-1, back, Pawn) || at(1, back, Pawn)) return true;
  static const int kn[8][2] = {{1, 2}, {2, 1}, {-1, 2}, {-2, 1}, {1, -2}, {2, -1}, {-1, -2}, {-2, -1}};
  for (auto& k : kn)
    if (at(k[0], k[1], Knight)) return true;
  for (int df = -1; df <= 1; ++df)
    for (int dr = -1; dr <= 1; ++dr) {
      if (!df && !dr) continue;
      if (at(df, dr, King)) return true;
      const bool diag = df && dr;
      for (int ff = f + df, rr = r + dr; ff >= 0 && ff < 8 && rr >= 0 && rr < 8; ff += df, rr += dr) {
        const int s = rr * 8 + ff;
        if (pos.colourOn[s] == NoColour) continue;
        if (pos.colourOn[s] == side &&
            (pos.pieceOn[s] == Queen || pos.pieceOn[s] == (diag ? Bishop : Rook)))
          return true;
        break;
      }
    }
  return false;
}

inline int kingOf(int side) {
  for (int q = 0; q < 64; ++q)
    if (pos.pieceOn[q] == King && pos.colourOn[q] == side) return q;
  return -1;
}

inline void addPawnMove(std::vector<Move>& out, int f, int t, bool capture) {
  if (rankOf(t) == 0 || rankOf(t) == 7) {
    for (Move k : {PromoteQueen, PromoteKnight, PromoteRook, PromoteBishop}) out.push_back(makeMoveWord(f, t, k));
  } else {
    out.push_back(makeMoveWord(f, t, capture ? CaptureKind : QuietKind));
  }
}

inline void castlingMoves(std::vector<Move>& out, int s) {
  const int k = kingOf(s);
  if (pos.moveCount[k] != 0) return;
  const bool chess960 = (searchFlags & Chess960Flag) != 0;
  const int base = s ? 56 : 0;
  for (int wing = 0; wing < 2; ++wing) {
    const int rook = wing ? pos.castleRookShort[s] : pos.castleRookLong[s];
    if (pos.pieceOn[rook] != Rook || pos.colourOn[rook] != s || pos.moveCount[rook] != 0) continue;
    if ((rook > k) != (wing == 1)) continue;
    const int kTo = base + (wing ? 6 : 2), rTo = base + (wing ? 5 : 3);
    bool ok = true;
    auto span = [&](int a, int b, bool checkAttack) {
      for (int q = a < b ? a : b; q <= (a < b ? b : a); ++q) {
        if (q != k && q != rook && pos.colourOn[q] != NoColour) ok = false;
        if (checkAttack && attackedBy(s ^ 1, q)) ok = false;
      }
    };
    span(k, kTo, true);
    span(rook, rTo, false);
    if (ok) out.push_back(makeMoveWord(k, chess960 ? rook : kTo, CastleKind));
  }
}

// Every pseudo-legal move of the side to move.
inline std::vector<Move> pseudoMoves() {
  std::vector<Move> out;
  const int s = pos.sideToMove, o = s ^ 1;
  static const int steps[8][2] = {{1, 0}, {0, 1}, {-1, 0}, {0, -1}, {1, 1}, {1, -1}, {-1, 1}, {-1, -1}};
  static const int kn[8][2] = {{1, 2}, {2, 1}, {-1, 2}, {-2, 1}, {1, -2}, {2, -1}, {-1, -2}, {-2, -1}};
  for (int f = 0; f < 64; ++f) {
    if (pos.colourOn[f] != s) continue;
    const int type = pos.pieceOn[f], ff = fileOf(f), fr = rankOf(f);
    auto target = [&](int df, int dr) {
      const int a = ff + df, b = fr + dr;
      return (a < 0 || a > 7 || b < 0 || b > 7) ? -1 : b * 8 + a;
    };
    if (type == Pawn) {
      const int dir = s == White ? 1 : -1;
      const int one = target(0, dir);
      if (one >= 0 && pos.colourOn[one] == NoColour) {
        addPawnMove(out, f, one, false);
        const int two = target(0, 2 * dir);
        if (fr == (s == White ? 1 : 6) && pos.colourOn[two] == NoColour) out.push_back(makeMoveWord(f, two, QuietKind));
      }
      for (int df : {-1, 1}) {
        const int t = target(df, dir);
        if (t < 0) continue;
        if (pos.colourOn[t] == o) addPawnMove(out, f, t, true);
        else if (pos.epSquare && t == static_cast<int>(pos.epSquare)) out.push_back(makeMoveWord(f, t, EnPassantKind));
      }
      continue;
    }
    auto add = [&](int t) {
      if (pos.colourOn[t] == s) return false;
      out.push_back(makeMoveWord(f, t, pos.colourOn[t] == o ? CaptureKind : QuietKind));
      return pos.colourOn[t] == NoColour;
    };
    if (type == Knight) {
      for (auto& k : kn)
        if (target(k[0], k[1]) >= 0) add(target(k[0], k[1]));
    } else if (type == King) {
      for (auto& st : steps)
        if (target(st[0], st[1]) >= 0) add(target(st[0], st[1]));
    } else {
      for (int d = 0; d < 8; ++d) {
        const bool diag = d >= 4;
        if ((diag && type == Rook) || (!diag && type == Bishop)) continue;
        for (int n = 1; target(steps[d][0] * n, steps[d][1] * n) >= 0; ++n)
          if (!add(target(steps[d][0] * n, steps[d][1] * n))) break;
      }
    }
  }
  castlingMoves(out, s);
  return out;
}

// Legal moves: each pseudo-legal move is made and the mover's king tested
// by brute force.
inline std::vector<Move> legalMoves() {
  std::vector<Move> legal;
  const int s = pos.sideToMove;
  for (Move m : pseudoMoves()) {
    makeMove(m);
    if (!attackedBy(s ^ 1, kingOf(s))) legal.push_back(m);
    unmakeMove();
  }
  return legal;
}

}  // namespace boardtest
