// Random games checked against from-scratch rebuilds: after every make and
// unmake the attack tables, key, material, signature, threat values,
// occupied squares and piece sets must equal a fresh computation (and the
// key's upper half the one foreseen before the move), and both ways of
// unmaking (returning to the tables of the ply before, retracing the
// updates) must give back the position and its tables bit for bit.
#include <gtest/gtest.h>

#include <random>

#include "board/attacks.h"
#include "board/history.h"
#include "board_support.h"

using namespace boardtest;

namespace {

// Copy of the position and of the tables it points at, with the fields make
// does not promise to restore (the previous threat sums, the last gain) and
// the unused ply records blanked out.
struct Snapshot {
  alignas(Position) unsigned char bytes[sizeof(Position)];
  BoardTables tables;
};

Snapshot snapshot() {
  Snapshot s;
  std::memcpy(s.bytes, &pos, sizeof pos);
  s.tables = *pos.tables;
  Position* p = reinterpret_cast<Position*>(s.bytes);
  p->threatSumBefore[0] = p->threatSumBefore[1] = 0;
  p->lastMoveGain = 0;
  const int top = static_cast<int>(pos.plyTop - pos.plyStack);
  std::memset(&p->plyStack[top + 1], 0, sizeof(PlyRecord) * (MaxPly - top - 1));
  return s;
}

bool sameAsNow(const Snapshot& before) {
  const Snapshot now = snapshot();
  return std::memcmp(before.bytes, now.bytes, sizeof(Position)) == 0 &&
         std::memcmp(&before.tables, &now.tables, sizeof(BoardTables)) == 0;
}

// Fields that must equal a count of the board, computed here without the
// engine's helpers.
void expectFresh(const char* where) {
  SCOPED_TRACE(where);
  ASSERT_TRUE(attackTablesAgree());
  ASSERT_EQ(pos.hashKey, computeHashKey());
  uint64_t men = 0;
  for (int q = 0; q < 64; ++q)
    if (pos.colourOn[q] != NoColour) men |= uint64_t{1} << q;
  ASSERT_EQ(men, pos.occupied);
  for (int s = 0; s < 2; ++s) {
    int count[7] = {}, material = 0, threats = 0;
    uint8_t files[10] = {};
    PieceSet seen = 0, evalSeen = 0;
    for (int q = 0; q < 64; ++q) {
      if (pos.colourOn[q] != s) continue;
      const int type = pos.pieceOn[q];
      ++count[type];
      material += type == King ? 0 : pieceValue[type];
      const PieceSet bit = pos.slotBitOn[q];
      ASSERT_EQ(pos.pieceList[s][__builtin_ctz(bit)], q);
      ASSERT_TRUE(pos.pieceSet[s] & bit);
      ASSERT_TRUE(pos.setForType[type] == pos.emptySet || (pos.setForType[type][s] & bit));
      ASSERT_EQ((pos.sliders[s] & bit) != 0, type == Bishop || type == Rook || type == Queen);
      if (type == Pawn) {
        files[fileOf(q) + 1] |= static_cast<uint8_t>(1 << rankOf(q));
        ASSERT_TRUE(pos.pawnsOnRank[s][rankOf(q)] & bit);
      }
      if (type == King) {
        ASSERT_EQ(bit, 1u);
      }
      ASSERT_EQ(pos.pieceThreat[q], threatOf(q)) << "square " << q;
      threats += pos.pieceThreat[q];
      if (pos.pieceThreat[q]) evalSeen |= bit;
      seen |= bit;
    }
    ASSERT_EQ(seen, pos.pieceSet[s]);
    ASSERT_EQ(count[King], 1);
    ASSERT_EQ(material, pos.material[s]);
    ASSERT_EQ(threats, pos.threatSum[s]);
    ASSERT_EQ(evalSeen, pos.evalSet[s]);
    ASSERT_EQ(0, std::memcmp(files, pos.pawnRanksOnFile[s], 10));
    auto sat = [](int n) { return static_cast<uint32_t>(n > 3 ? 3 : n); };
    const uint32_t units = 3u * (count[Knight] + count[Bishop]) + 5u * count[Rook] + 10u * count[Queen];
    const uint32_t pieces = count[Knight] + count[Bishop] + count[Rook] + count[Queen];
    const uint32_t expected = units | pieces << 8 | static_cast<uint32_t>(count[Pawn]) << 16 |
                              sat(count[Knight]) << 20 | sat(count[Bishop]) << 22 |
                              sat(count[Rook]) << 24 | sat(count[Queen]) << 26;
    ASSERT_EQ(expected, pos.materialSignature[s]) << "side " << s;
  }
  ASSERT_EQ(pos.attacksUs, &pos.attackTable[pos.sideToMove]);
  ASSERT_EQ(pos.attackTable, pos.tables->attackTable);
  ASSERT_EQ(pos.pieceThreat, pos.tables->pieceThreat);
}

// Tries every legal move here (make, check, unmake, compare), then walks
// one of them deeper.
void exploreFrom(std::mt19937& rng, int depth) {
  const std::vector<Move> moves = legalMoves();
  const Snapshot before = snapshot();
  for (Move m : moves) {
    const uint32_t predictedHigh = keyHighAfter(m);
    makeMove(m);
    ASSERT_EQ(predictedHigh, pos.hashKey >> 32) << "key foreseen for move " << m;
    expectFresh("after make");
    if (::testing::Test::HasFatalFailure()) {
      ADD_FAILURE() << "move " << m;
      return;
    }
    unmakeMove();
    ASSERT_TRUE(sameAsNow(before)) << "unmake of move " << m;
    // Unmake returns to the tables of the ply before; the retracing unmake used for
    // moves taken back from the game record must reach the same state.
    makeMove(m);
    unmakeMoveRetraced();
    ASSERT_TRUE(sameAsNow(before)) << "retraced unmake of move " << m;
  }
  if (!isInCheck()) {
    makeNullMove();
    expectFresh("after null move");
    unmakeMove();
    ASSERT_TRUE(sameAsNow(before)) << "null move";
  }
  if (depth > 0 && !moves.empty()) {
    makeMove(moves[rng() % moves.size()]);
    exploreFrom(rng, depth - 1);
    unmakeMove();
    ASSERT_TRUE(sameAsNow(before)) << "after a deeper line";
  }
}

// A Chess960 start with castling rights on both sides, by rook files.
std::string chess960Start(std::mt19937& rng) {
  char rank[9] = "........";
  auto freeSquares = [&]() {
    std::vector<int> v;
    for (int i = 0; i < 8; ++i)
      if (rank[i] == '.') v.push_back(i);
    return v;
  };
  rank[2 * (rng() % 4)] = 'B';
  rank[2 * (rng() % 4) + 1] = 'B';
  for (char c : {'Q', 'N', 'N'}) {
    auto v = freeSquares();
    rank[v[rng() % v.size()]] = c;
  }
  auto v = freeSquares();  // three left: rook, king, rook
  rank[v[0]] = 'R', rank[v[1]] = 'K', rank[v[2]] = 'R';
  std::string white(rank), black(rank);
  for (char& c : black) c = static_cast<char>(c | 0x20);
  std::string rights;
  rights += static_cast<char>('A' + v[2]);
  rights += static_cast<char>('A' + v[0]);
  rights += static_cast<char>('a' + v[2]);
  rights += static_cast<char>('a' + v[0]);
  return black + "/pppppppp/8/8/8/8/PPPPPPPP/" + white + " w " + rights + " - 0 1";
}

void playRandomGames(const std::string& fen, int games, int plies, unsigned seed, bool preferPromotions) {
  std::mt19937 rng(seed);
  for (int g = 0; g < games; ++g) {
    loadFen(fen);
    expectFresh("set-up");
    for (int ply = 0; ply < plies; ++ply) {
      exploreFrom(rng, 3);
      if (::testing::Test::HasFailure()) {
        ADD_FAILURE() << fen << " game " << g << " ply " << ply;
        return;
      }
      std::vector<Move> moves = legalMoves();
      if (moves.empty() || pos.plyCount > 300) break;
      Move pick = moves[rng() % moves.size()];
      if (preferPromotions)
        for (Move m : moves)
          if (isPromotion(m) && rng() % 2) pick = m;
      ASSERT_TRUE(playGameMove(pick));
    }
  }
}

}  // namespace

TEST(BoardInvariants, StandardGamesWithCastlingAndEnPassant) {
  playRandomGames("rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1", 3, 70, 1, false);
  playRandomGames("r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq - 0 1", 3, 40, 2, false);
  playRandomGames("rnbqkbnr/ppp1p1pp/8/3pPp2/8/8/PPPP1PPP/RNBQKBNR w KQkq f6 0 3", 2, 40, 3, false);
}

TEST(BoardInvariants, PromotionHeavyGamesNeverCarryASignatureField) {
  // Four and more men of a kind arise here; the signature test in
  // expectFresh checks every count field against a saturated count.
  playRandomGames("n1n5/PPPk4/8/8/8/8/4Kppp/5N1N b - - 0 1", 4, 40, 4, true);
  playRandomGames("8/PPPPPPPP/8/7k/K7/8/pppppppp/8 w - - 0 1", 4, 40, 5, true);
  playRandomGames("NNNNk3/8/8/8/8/8/8/4K3 w - - 0 1", 1, 20, 6, false);
}

TEST(BoardInvariants, Chess960GamesCastleBothWays) {
  std::mt19937 rng(7);
  for (int i = 0; i < 6; ++i) playRandomGames(chess960Start(rng), 1, 60, 100 + i, false);
  // King and rook side by side, and a king that already stands on g1.
  playRandomGames("rk4r1/pppppppp/8/8/8/8/PPPPPPPP/RK4R1 w GAga - 0 1", 2, 50, 8, false);
  playRandomGames("5rk1/pppppppp/8/8/8/8/PPPPPPPP/5RK1 w Ff - 0 1", 2, 30, 9, false);
  searchFlags &= ~Chess960Flag;
}

// The table generator walks boards by moving one man to another empty
// square; each board must be what a fresh set-up gives. Men of every kind
// go back and forth between random squares (pawns off the end ranks),
// across each other's lines and next to the kings, and makes from the
// moved board must still check out.
TEST(BoardInvariants, RelocatedMenLeaveAFreshBoard) {
  std::mt19937 rng(11);
  for (const char* fen : {"r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w - - 0 1",
                          "8/2p5/3p4/KP5r/1R3p1k/8/4P1P1/8 w - - 0 1", "4k3/8/8/3q4/8/2B5/8/R3K3 b - - 0 1"}) {
    loadFen(fen);
    for (int step = 0; step < 300; ++step) {
      std::vector<int> men, empty;
      for (int q = 0; q < 64; ++q) {
        if (pos.colourOn[q] == NoColour) empty.push_back(q);
        else if (pos.pieceOn[q] != King) men.push_back(q);
      }
      const int from = men[rng() % men.size()];
      int to = empty[rng() % empty.size()];
      if (pos.pieceOn[from] == Pawn && (rankOf(to) == 0 || rankOf(to) == 7)) continue;
      relocateMan(from, to);
      expectFresh(fen);
      if (::testing::Test::HasFatalFailure()) return;
      // A board with the side not to move in check is fine to walk over
      // but has no moves to try.
      if (pos.attackTable[pos.sideToMove].sq[kingSquare(pos.sideToMove ^ 1)].directCounts == 0) exploreFrom(rng, 0);
    }
  }
}

// The bit-scan ray walk must stop where a step-by-step walk stops, in each
// of the eight line directions, on boards from empty to crowded.
TEST(BoardInvariants, FirstOnRayMatchesAStepWalk) {
  std::mt19937_64 rng(5);
  for (int fill : {0, 8, 24, 48, 64}) {
    for (int trial = 0; trial < 40; ++trial) {
      uint64_t squares = 0;
      for (int i = 0; i < fill; ++i) squares |= uint64_t{1} << (rng() % 64);
      for (int d = 0; d < 8; ++d)
        for (int q = 0; q < 64; ++q) {
          int walk = nextSquare[d][q], length = 0;
          for (int t = walk; t != NoSquare; t = nextSquare[d][t]) ++length;
          while (walk != NoSquare && !((squares >> walk) & 1)) walk = nextSquare[d][walk];
          ASSERT_EQ(firstOnRay(d, q, squares), walk) << "direction " << d << " square " << q;
          ASSERT_EQ(rayLength[d][q], length);
        }
    }
  }
}
