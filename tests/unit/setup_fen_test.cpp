// FEN set-up: what is accepted, what is sanitised, what is refused, and
// that a refusal leaves the previous game untouched.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>

#include "board/history.h"
#include "board/makemove.h"
#include "board/movegen.h"
#include "board/position.h"
#include "board/setup.h"
#include "movegen_support.h"

using namespace movegentest;

namespace {

uint64_t keyOf(const char* fen) {
  EXPECT_NE(parseFen(fen), 0u) << fen;
  return pos.hashKey;
}

bool hasMove(const char* text) {
  for (Move m : legalMoves())
    if (coordinates(m) == text) return true;
  return false;
}

// Everything a refused FEN must leave as it was.
struct Snapshot {
  std::unique_ptr<Position> board{new Position};
  std::unique_ptr<BoardTables> tables{new BoardTables};
  std::unique_ptr<GameRecord[]> history{new GameRecord[GameHistorySize]};
  long top;
  int moves;
  uint32_t options, search, moveNumber;
  uint8_t side, fromSetUp;
  std::string fen;
  Snapshot() {
    std::memcpy(board.get(), &pos, sizeof pos);
    *tables = *pos.tables;
    std::memcpy(history.get(), gameHistory, sizeof gameHistory);
    top = gameTop - gameHistory;
    moves = gameMoveTotal;
    options = optionFlags;
    search = searchFlags;
    moveNumber = gameMoveNumber;
    side = gameSideToMove;
    fromSetUp = gameStartedFromSetUp;
    fen = setUpFen;
  }
  bool unchanged() const {
    return std::memcmp(board.get(), &pos, sizeof pos) == 0 &&
           std::memcmp(tables.get(), pos.tables, sizeof(BoardTables)) == 0 &&
           std::memcmp(history.get(), gameHistory, sizeof gameHistory) == 0 && top == gameTop - gameHistory &&
           moves == gameMoveTotal && options == optionFlags && search == searchFlags &&
           moveNumber == gameMoveNumber && side == gameSideToMove && fromSetUp == gameStartedFromSetUp &&
           fen == setUpFen;
  }
};

}  // namespace

TEST(FenSetUp, StartFenEqualsNewGame) {
  newGame();
  const uint64_t key = pos.hashKey;
  uint8_t counts[64];
  std::memcpy(counts, pos.moveCount, 64);
  EXPECT_EQ(gameStartedFromSetUp, 0);
  ASSERT_NE(parseFen(StartFen), 0u);
  EXPECT_EQ(pos.hashKey, key);
  EXPECT_EQ(std::memcmp(counts, pos.moveCount, 64), 0);
  EXPECT_EQ(pos.hashKey, computeHashKey());
  EXPECT_EQ(gameStartedFromSetUp, 1);
  EXPECT_STREQ(setUpFen, StartFen);
  EXPECT_EQ(pos.plyCount, 1u);
  EXPECT_EQ(pos.lastIrreversiblePly, 1u);
  // Comments are cut out wherever they stand, an open one to the end.
  ASSERT_NE(parseFen("rnbqkbnr/pppppppp/8/8/{a comment}8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1 {open"), 0u);
  EXPECT_EQ(pos.hashKey, key);
}

TEST(FenSetUp, RefusedTextsLeaveThePreviousGameInForce) {
  // A game in progress: Chess960 castling, moves played, an en-passant square.
  ASSERT_NE(parseFen("bqnb1rkr/pp3ppp/3ppn2/2p5/5P2/P2P4/NPP1P1PP/BQ1BNRKR w HFhf - 3 9"), 0u);
  playMoves({"e2e4", "c5c4", "b2b4"});
  ASSERT_NE(pos.epSquare, 0u);
  ASSERT_NE(optionFlags & Chess960Flag, 0u);
  const Snapshot before;
  const std::string longCastling(32, 'K');
  const struct { std::string fen; const char* reason; } refused[] = {
      {"8/8/8/8/8/8/8/8 w - - 0 1", "white has 0 kings"},
      {"rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq", "10 fields where at least 11 are needed"},
      {"rnbqkbnr/ppppxppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1", "rank 7 holds 'x', neither a piece nor a square count"},
      {"rnbqkbnr/pppppppp/9/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1", "rank 6 holds '9', neither a piece nor a square count"},
      {"rnbqkbnr/pppppppp/4p4/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1", "rank 6 has more than 8 squares"},
      {"rnbqkbnr/ppppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1", "rank 7 has more than 8 squares"},
      {"rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKKNR w KQkq - 0 1", "white has 2 kings"},
      {"rnbqkbnP/pppppppp/8/8/8/8/PPPPPPP1/RNBQKBNR w KQkq - 0 1", "a pawn stands on rank 8"},
      {"4k3/8/8/8/8/8/8/p3K3 w - - 0 1", "a pawn stands on rank 1"},
      {"QQQQQQQQ/QQ6/8/8/8/8/8/4K2k b - - 0 1", "white has more promoted men than missing pawns"},
      {"4k3/8/8/8/8/8/PPPPPPPP/NNN1K3 w - - 0 1", "white has more promoted men than missing pawns"},
      {"4k3/4R3/8/8/8/8/8/4K3 w - - 0 1", "the side to move can take the king"},
      {"4k3/8/8/8/8/8/nnnn4/bbb1K3 b - - 0 1", "the side to move can take the king"},
      {"4k3/8/8/8/8/8/8/4K2R w " + longCastling + " - 0 1", "field 10 is longer than 31 characters"},
      {std::string(1100, ' ') + StartFen, "the text is too long"},
  };
  for (const auto& c : refused) {
    EXPECT_EQ(parseFen(c.fen.c_str()), 0u) << c.fen;
    EXPECT_STREQ(fenRejection, c.reason) << c.fen;
    EXPECT_TRUE(before.unchanged()) << c.fen;
  }
  ASSERT_NE(parseFen(StartFen), 0u);
  EXPECT_EQ(fenRejection, nullptr);
}

TEST(FenSetUp, NineQueensAndThreeKnightsWithPawnsAreHeld) {
  EXPECT_NE(parseFen("QQQQQQQQ/Q7/8/8/8/8/8/4K2k b - - 0 1"), 0u);
  EXPECT_EQ(legalMoves().size(), 0u);  // mated
  EXPECT_NE(parseFen("4k3/8/8/8/8/8/PPPPPPP1/NNN1K3 w - - 0 1"), 0u);
  EXPECT_NE(parseFen("4k3/4R3/8/8/8/8/8/4K3 b - - 0 1"), 0u);  // only the side to move may be in check
}

TEST(FenSetUp, EnPassantSquareOnlyWithAPawnToTakeAndOneToBeTaken) {
  const uint64_t plain = keyOf("rnbqkbnr/pppppppp/8/8/4P3/8/PPPP1PPP/RNBQKBNR b KQkq - 0 1");
  // No black pawn can take on e3: the square is dropped, and so is its key.
  EXPECT_EQ(keyOf("rnbqkbnr/pppppppp/8/8/4P3/8/PPPP1PPP/RNBQKBNR b KQkq e3 0 1"), plain);
  EXPECT_EQ(pos.epSquare, 0u);
  // With a pawn on d4 it stays and changes the key.
  const uint64_t withTaker = keyOf("rnbqkbnr/ppp1pppp/8/8/3pP3/8/PPPP1PPP/RNBQKBNR b KQkq e3 0 3");
  EXPECT_EQ(pos.epSquare, 20u);
  EXPECT_TRUE(hasMove("d4e3"));
  EXPECT_NE(withTaker, keyOf("rnbqkbnr/ppp1pppp/8/8/3pP3/8/PPPP1PPP/RNBQKBNR b KQkq - 0 3"));
  // A square no pawn passed (nothing on e4, or e2 still occupied) is dropped.
  keyOf("rnbqkbnr/ppp1pppp/8/8/3p4/4P3/PPPP1PPP/RNBQKBNR b KQkq e3 0 3");
  EXPECT_EQ(pos.epSquare, 0u);
  keyOf("rnbqkbnr/ppp1pppp/8/8/3pP3/8/PPPPPPP1/RNBQKBNR b KQkq e3 0 3");
  EXPECT_EQ(pos.epSquare, 0u);
  // On the wrong rank for the side to move the square and the clocks go,
  // but the board is set up.
  ASSERT_NE(parseFen("rnbqkbnr/pppppppp/8/8/4P3/8/PPPP1PPP/RNBQKBNR w KQkq e3 7 20"), 0u);
  EXPECT_EQ(pos.epSquare, 0u);
  EXPECT_EQ(pos.plyCount - pos.lastIrreversiblePly, 0u);
  EXPECT_EQ(gameMoveNumber, 0u);
}

TEST(FenSetUp, CastlingRightsNeedKingAndRookInPlace) {
  // A right whose rook is missing or whose king has left is dropped: same
  // key and moves as the text without it.
  const uint64_t queenside = keyOf("r3k2r/8/8/8/8/8/8/R3K1R1 w Qkq - 0 1");
  EXPECT_EQ(keyOf("r3k2r/8/8/8/8/8/8/R3K1R1 w KQkq - 0 1"), queenside);
  EXPECT_FALSE(hasMove("e1g1"));
  EXPECT_TRUE(hasMove("e1c1"));
  EXPECT_EQ(optionFlags & Chess960Flag, 0u);
  const uint64_t none = keyOf("r3k2r/8/8/8/8/8/4K3/R6R w kq - 0 1");
  EXPECT_EQ(keyOf("r3k2r/8/8/8/8/8/4K3/R6R w KQkq - 0 1"), none);
  // A rook file naming a square without an own rook is dropped too.
  EXPECT_EQ(keyOf("r3k2r/8/8/8/8/8/8/R3K1R1 w Qkq - 0 1"), keyOf("r3k2r/8/8/8/8/8/8/R3K1R1 w QCkq - 0 1"));
}

TEST(FenSetUp, RookFileLettersSwitchToChess960AndStartposSwitchesBack) {
  ASSERT_NE(parseFen("r3k2r/8/8/8/8/8/8/R3K2R w HAha - 0 1"), 0u);
  EXPECT_NE(optionFlags & Chess960Flag, 0u);
  EXPECT_NE(searchFlags & Chess960Flag, 0u);
  EXPECT_EQ(pos.castleRookShort[White], 7);
  EXPECT_EQ(pos.castleRookLong[White], 0);
  EXPECT_EQ(pos.castleRookShort[Black], 63);
  EXPECT_EQ(pos.castleRookLong[Black], 56);
  const uint64_t fileLetters = pos.hashKey;
  EXPECT_TRUE(hasMove("e1h1"));
  EXPECT_TRUE(hasMove("e1a1"));
  ASSERT_NE(parseFen("r3k2r/8/8/8/8/8/8/R3K2R w KQkq - 0 1"), 0u);
  EXPECT_EQ(pos.hashKey, fileLetters);  // the same rights, the same key
  EXPECT_EQ(optionFlags & Chess960Flag, 0u);
  EXPECT_TRUE(hasMove("e1g1"));
  ASSERT_NE(parseFen("r3k2r/8/8/8/8/8/8/R3K2R w HAha - 0 1"), 0u);
  newGame();
  EXPECT_EQ(optionFlags & Chess960Flag, 0u);
  EXPECT_EQ(pos.castleRookShort[White], 7);

  // Inner rooks named by file, and standard letters with the king off the
  // e-file naming the outermost rook of each wing.
  ASSERT_NE(parseFen("1r3kr1/8/8/8/8/8/8/1R3KR1 w GBgb - 0 1"), 0u);
  EXPECT_EQ(pos.castleRookShort[White], 6);
  EXPECT_EQ(pos.castleRookLong[White], 1);
  const uint64_t inner = pos.hashKey;
  ASSERT_NE(parseFen("1r3kr1/8/8/8/8/8/8/1R3KR1 w KQkq - 0 1"), 0u);
  EXPECT_EQ(pos.hashKey, inner);
  EXPECT_EQ(pos.castleRookLong[Black], 57);
  EXPECT_TRUE(hasMove("f1b1"));
}

TEST(FenSetUp, ClocksAndMoveNumber) {
  ASSERT_NE(parseFen("4k3/8/8/8/8/8/8/R3K3 w - - 99 60"), 0u);
  EXPECT_EQ(gameMoveNumber, 118u);
  EXPECT_EQ(pos.plyCount - pos.lastIrreversiblePly, 99u);
  EXPECT_FALSE(fiftyMoveDraw());
  playMoves({"a1a2"});
  EXPECT_TRUE(fiftyMoveDraw());
  // A pawn move resets the clock as usual.
  ASSERT_NE(parseFen("4k3/8/8/8/8/8/P7/4K3 b - - 99 60"), 0u);
  EXPECT_EQ(gameMoveNumber, 119u);
  playMoves({"e8d8"});
  EXPECT_TRUE(fiftyMoveDraw());
  playMoves({"a2a3"});
  EXPECT_FALSE(fiftyMoveDraw());

  // Move numbers are held at 65535, however long their text; a clock
  // field longer than 31 characters is read like any other.
  const std::string nines(40, '9'), zeros(40, '0');
  const struct { std::string fen; uint32_t moveNumber, halfmoves; } clocks[] = {
      {"4k3/8/8/8/8/8/8/4K3 b - - 0 65535", 2u * 65535 - 1, 0},
      {"4k3/8/8/8/8/8/8/4K3 w - - 0 99999", 2u * 65535 - 2, 0},
      {"4k3/8/8/8/8/8/8/4K3 w - - 0 0", 0, 0},
      {"4k3/8/8/8/8/8/8/4K3 w - - 0 " + nines, 2u * 65535 - 2, 0},
      {"4k3/8/8/8/8/8/8/4K3 w - - " + zeros + "12 " + zeros + "60", 118, 12},
      {"4k3/8/8/8/8/8/8/4K3 b - - " + nines + " " + nines, 2u * 65535 - 1, 0},
  };
  for (const auto& c : clocks) {
    ASSERT_NE(parseFen(c.fen.c_str()), 0u) << c.fen << ": " << fenRejection;
    EXPECT_EQ(gameMoveNumber, c.moveNumber) << c.fen;
    if (c.halfmoves != 0) EXPECT_EQ(pos.plyCount - pos.lastIrreversiblePly, c.halfmoves) << c.fen;
  }
  ASSERT_NE(parseFen(("4k3/8/8/8/8/8/8/R3K3 w - - " + nines + " 1").c_str()), 0u);
  playMoves({"a1a2"});
  EXPECT_TRUE(fiftyMoveDraw()) << "a huge halfmove clock saturates";
  // A halfmove field that is not a number ends the text there.
  ASSERT_NE(parseFen("4k3/8/8/8/8/8/8/4K3 b - - x 40"), 0u);
  EXPECT_EQ(gameMoveNumber, 1u);
  EXPECT_EQ(gameSideToMove, Black);
  // Without clocks (an EPD line) the position is still taken.
  ASSERT_NE(parseFen("4k3/8/8/8/8/8/8/4K3 w - -"), 0u);
  EXPECT_EQ(pos.plyCount, 1u);
}

TEST(FenSetUp, RepetitionOfTheSetUpPositionIsSeenWithCastlingKeys) {
  // The set-up record carries the full key, castling part included, so
  // coming back to the set-up position counts as a repetition.
  ASSERT_NE(parseFen("4k3/8/8/8/8/8/8/4K2R w - - 0 1"), 0u);
  playMoves({"h1h2", "e8d8", "h2h1", "d8e8"});
  EXPECT_EQ(countRepetitions(), 1);
}
