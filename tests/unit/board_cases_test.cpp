// Hand-checked board positions: slot assignment, attack-table contents,
// en-passant and castling keys, promotions, saturating counters and the
// exchange estimate.
#include <gtest/gtest.h>

#include "board/attacks.h"
#include "board/history.h"
#include "board_support.h"

using namespace boardtest;

namespace {

int sq(const char* name) { return squareOf(name); }
int slotOn(const char* name) { return __builtin_ctz(pos.slotBitOn[sq(name)]); }
const SquareAttacks& white(const char* name) { return pos.attackTable[White].sq[sq(name)]; }


}  // namespace

TEST(BoardSlots, StartPositionAndExtraQueen) {
  loadFen(StartFen);
  const char* pawns[8] = {"a2", "b2", "c2", "d2", "e2", "f2", "g2", "h2"};
  for (int i = 0; i < 8; ++i) EXPECT_EQ(slotOn(pawns[i]), 15 - i);
  EXPECT_EQ(slotOn("e1"), 0);
  EXPECT_EQ(slotOn("d1"), 1);
  EXPECT_EQ(slotOn("a1"), 2);
  EXPECT_EQ(slotOn("h1"), 3);
  EXPECT_EQ(slotOn("f1"), 4);  // light-squared bishop
  EXPECT_EQ(slotOn("c1"), 5);
  EXPECT_EQ(slotOn("b1"), 6);
  EXPECT_EQ(slotOn("g1"), 7);
  EXPECT_EQ(pos.pieceSet[Black], 0xFFFFu);

  // A second queen and a third knight take the lowest free slots from 8 up.
  loadFen("4k3/8/8/8/8/8/PPPPPP2/NQNNKQ2 w - - 0 1");
  EXPECT_EQ(slotOn("b1"), 1);
  EXPECT_EQ(slotOn("a1"), 6);
  EXPECT_EQ(slotOn("c1"), 7);
  EXPECT_EQ(slotOn("d1"), 8);
  EXPECT_EQ(slotOn("f1"), 9);
  EXPECT_EQ(slotOn("a2"), 15);
  EXPECT_EQ(slotOn("f2"), 10);
}

TEST(BoardAttackTables, StartPosition) {
  loadFen(StartFen);
  EXPECT_EQ(white("c3").directCounts, 2304);
  EXPECT_EQ(white("c3").totalCount, 3);
  EXPECT_EQ(white("c3").directAttackers, (1u << 14) | (1u << 12) | (1u << 6));
  // The c1 bishop sees its two pawns and nothing behind them.
  EXPECT_TRUE(white("b2").directAttackers & (1u << 5));
  EXPECT_TRUE(white("d2").directAttackers & (1u << 5));
  EXPECT_FALSE(white("e3").directAttackers & (1u << 5));
  EXPECT_FALSE(white("a3").directAttackers & (1u << 5));
}

TEST(BoardAttackTables, BatteriesAndTransparency) {
  // Rook a1 behind queen a2: queen direct, rook x-ray on a3..a8.
  loadFen("4k3/8/8/8/8/8/Q7/R3K3 w - - 0 1");
  EXPECT_EQ(white("a2").directCounts & 0xFF, 16);
  for (const char* q : {"a3", "a5", "a8"}) {
    EXPECT_EQ(white(q).directCounts, 2) << q;
    EXPECT_EQ(white(q).xrayCount2, 2) << q;
    EXPECT_EQ(white(q).totalCount, 2) << q;
    EXPECT_EQ(white(q).xrayAttackers, 1u << 2) << q;
  }
  // A black rook is transparent for the white rook's file line ...
  loadFen("7k/8/8/8/r7/8/8/R3K3 w - - 0 1");
  EXPECT_EQ(white("a4").directCounts, 16);
  for (const char* q : {"a5", "a8"}) {
    EXPECT_EQ(white(q).directCounts, 0) << q;
    EXPECT_EQ(white(q).xrayCount2, 2) << q;
  }
  // ... a white bishop is not.
  loadFen("7k/8/8/8/B7/8/8/R3K3 w - - 0 1");
  EXPECT_EQ(white("a5").xrayCount2, 0);
  EXPECT_EQ(white("a5").directCounts & 0xF0, 0);
}

TEST(BoardAttackTables, CaptureChangesTransparency) {
  // Rook d1 sees through the black rook on d4; once a bishop takes it the
  // x-rays beyond d4 are gone, and unmake brings them back.
  loadFen("4k3/8/8/8/3r4/8/8/B2RK3 w - - 0 1");
  EXPECT_EQ(white("d6").xrayCount2, 2);
  makeMove(makeMoveWord(sq("a1"), sq("d4"), CaptureKind));
  EXPECT_TRUE(attackTablesAgree());
  EXPECT_EQ(white("d4").directCounts, 16);  // the rook; the bishop stands there
  EXPECT_EQ(white("d5").xrayCount2, 0);
  EXPECT_EQ(white("d6").xrayCount2, 0);
  EXPECT_TRUE(white("e5").directAttackers & pos.slotBitOn[sq("d4")]);
  unmakeMove();
  EXPECT_TRUE(attackTablesAgree());
  EXPECT_EQ(white("d6").xrayCount2, 2);
}

TEST(BoardKeys, EnPassantSquareOnlyWhenCapturable) {
  loadFen(StartFen);
  const uint64_t start = pos.hashKey;
  playMoves({"e2e4"});
  EXPECT_EQ(pos.epSquare, 0u);  // no black pawn can take on e3
  EXPECT_EQ(pos.hashKey, computeHashKey());
  EXPECT_NE(pos.hashKey, start);
  playMoves({"d7d5", "e4e5", "f7f5"});
  EXPECT_EQ(pos.epSquare, static_cast<uint32_t>(sq("f6")));
  EXPECT_EQ(pos.hashKey, computeHashKey());
  const uint64_t withEp = pos.hashKey;
  playMoves({"e5f6"});
  EXPECT_EQ(pos.pieceOn[sq("f5")], None);
  EXPECT_EQ(pos.material[Black], 7 * 128 + 2 * 416 + 2 * 416 + 2 * 640 + 1248);
  EXPECT_EQ(pos.lastMoveGain, 128);
  // The same men without the en-passant chance differ by exactly its key.
  loadFen("rnbqkbnr/ppp1p1pp/8/3pPp2/8/8/PPPP1PPP/RNBQKBNR w KQkq - 0 3");
  EXPECT_EQ(pos.hashKey ^ withEp, squareKey[sq("f6")]);
}

TEST(BoardKeys, KingWalkLosesCastlingForGood) {
  loadFen("r3k2r/8/8/8/8/8/8/R3K2R w KQkq - 0 1");
  const uint64_t start = pos.hashKey;
  playMoves({"e1f1", "e8f8", "f1e1", "f8e8"});
  EXPECT_EQ(pos.hashKey, computeHashKey());
  EXPECT_EQ(pos.hashKey ^ start, static_cast<uint64_t>(squareKey[0] ^ squareKey[7] ^ squareKey[56] ^ squareKey[63]));
  EXPECT_EQ(pos.moveCount[sq("e1")], 2);
  for (Move m : legalMoves()) EXPECT_NE(m & KindMask, CastleKind);
  EXPECT_EQ(countRepetitions(), 0);  // the rights differ from the start
}

TEST(BoardKeys, CapturingACastlingRookRemovesItsRightFromTheKey) {
  loadFen("r3k2r/8/8/8/8/8/8/R3K2R w KQkq - 0 1");
  playMoves({"a1a8"});
  EXPECT_EQ(pos.hashKey, computeHashKey());
}

TEST(BoardMaterial, UnderPromotionWithCapture) {
  loadFen("r3k3/1P6/8/8/8/8/8/4K3 w q - 0 1");
  const Move m = makeMoveWord(sq("b7"), sq("a8"), PromoteKnight);
  makeMove(m);  // the random-game invariants check the other fields
  EXPECT_EQ(pos.material[White], 416);
  EXPECT_EQ(pos.material[Black], 0);
  EXPECT_EQ(pos.lastMoveGain, 640);
  unmakeMove();
}

TEST(BoardMaterial, FifthQueenSaturatesItsField) {
  loadFen("8/P7/8/7k/8/8/8/QQQ1K3 w - - 0 1");
  EXPECT_EQ(pos.materialSignature[White] >> 26, 3u);
  makeMove(makeMoveWord(sq("a7"), sq("a8"), PromoteQueen));
  EXPECT_EQ(pos.materialSignature[White], materialSignatureOf(White));
  EXPECT_EQ((pos.materialSignature[White] >> 26) & 3, 3u);
  EXPECT_EQ(pos.materialSignature[White] >> 28, 0u);  // nothing carried
  EXPECT_EQ(pos.materialSignature[White] & 0xFF, 40u);
  unmakeMove();
  EXPECT_EQ(pos.materialSignature[White], 0x0C01031Eu);
}

TEST(BoardMoveCount, SaturatesAndRestores) {
  loadFen("4k3/8/8/8/8/8/8/4K3 w - - 0 1");
  for (int start : {253, 254, 255}) {
    pos.moveCount[sq("e1")] = static_cast<uint8_t>(start);
    makeMove(makeMoveWord(sq("e1"), sq("f1"), QuietKind));
    EXPECT_EQ(pos.moveCount[sq("f1")], start == 255 ? 255 : start + 1);
    unmakeMove();
    EXPECT_EQ(pos.moveCount[sq("e1")], start);
  }
}

TEST(BoardThreats, ExchangeEstimateOnSquares) {
  // Knight e5 attacked by pawn d6, defended by pawn d4: threatened by
  // 416 - 128. Knight a5, attacked by the rook and undefended: its whole
  // value.
  loadFen("r3k3/8/3p4/N3N3/3P4/8/8/4K3 w - - 0 1");
  EXPECT_EQ(pos.pieceThreat[sq("e5")], 288);
  EXPECT_EQ(pos.pieceThreat[sq("a5")], 416);
  EXPECT_EQ(pos.threatSum[White], 288 + 416);
}
