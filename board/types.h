// Board types shared by every subsystem: squares, men, moves, the one
// global position with its attack tables, the per-ply undo records and the
// game history.
#pragma once

#include <cstddef>
#include <cstdint>

using Square = uint8_t;     // 0..63, a1 = 0, b1 = 1, h8 = 63
using Colour = uint8_t;     // 0 White, 1 Black; 2 marks an empty square in colourOn
using PieceType = uint8_t;  // 0 none, 1 pawn .. 6 king
using Move = uint16_t;      // to 0..5, from 6..11, kind 12..14
using PieceSet = uint32_t;  // slot bits of one side (low 16 bits used)

constexpr Square NoSquare = 255;
constexpr Colour White = 0;
constexpr Colour Black = 1;
constexpr Colour NoColour = 2;

enum : PieceType { None = 0, Pawn = 1, Knight = 2, Bishop = 3, Rook = 4, Queen = 5, King = 6 };

// Move kinds: the word move & 0x7000.
constexpr Move KindMask = 0x7000;
constexpr Move QuietKind = 0x0000;
constexpr Move CaptureKind = 0x4000;
constexpr Move CastleKind = 0x1000;
constexpr Move EnPassantKind = 0x5000;
constexpr Move PromoteQueen = 0x2000;
constexpr Move PromoteKnight = 0x3000;
constexpr Move PromoteRook = 0x6000;
constexpr Move PromoteBishop = 0x7000;
constexpr Move PromotionBit = 0x2000;
constexpr Move CheckMark = 0x8000;   // stored moves only: the move gives check
constexpr Move NullMove = 0x1000;    // castling kind with from = to = a1
constexpr Move FromToMask = 0x0FFF;

constexpr int moveTo(Move m) { return m & 63; }
constexpr int moveFrom(Move m) { return (m >> 6) & 63; }
constexpr Move makeMoveWord(int from, int to, Move kind) {
  return static_cast<Move>((from << 6) | to | kind);
}
constexpr bool isPromotion(Move m) { return (m & PromotionBit) != 0; }

// Promoted type by (move >> 12) & 7.
constexpr PieceType promotionType[8] = {0, 0, Queen, Knight, 0, 0, Rook, Bishop};

constexpr int rankOf(int sq) { return sq >> 3; }
constexpr int fileOf(int sq) { return sq & 7; }

// Score units: 1/128 pawn, from the side to move.
constexpr int ScoreInfinite = 8192;
constexpr int ScoreMateThreshold = 7800;

// A move-list entry: the move and its ordering key.
struct ScoredMove {
  Move move;
  int16_t key;
};
static_assert(sizeof(ScoredMove) == 4);

// How one side attacks one square.
struct SquareAttacks {
  uint16_t directCounts;    // K 1, Q 2 each, R 16, B 64, N 256, P 1024 each
  uint16_t directAttackers; // slot bits of the direct attackers
  uint8_t xrayCount2;       // 2 per x-ray attack
  uint8_t totalCount;       // direct plus x-ray attacks
  uint16_t xrayAttackers;   // slot bits of the x-raying sliders
};
static_assert(sizeof(SquareAttacks) == 8);

struct AttackTable {
  SquareAttacks sq[64];
};
static_assert(sizeof(AttackTable) == 512);

// Undo record of one ply; bytes marked search-owned are written by the
// search and evaluation, the rest by make and unmake.
struct PlyRecord {
  Move move;               // 0: the move made (NullMove for a null move)
  uint16_t capturedSlot;   // 2: slot bit of the captured man
  uint8_t capturedType;    // 4
  uint8_t mover;           // 5: side that moved
  uint8_t oldMoveCount;    // 6: moveCount[to] before the move
  uint8_t oldEpSquare;     // 7
  uint16_t oldIrreversible;// 8: lastIrreversiblePly before the move
  uint16_t searchWord;     // 10: search-owned
  uint32_t keyLo;          // 12: hashKey before the move, low word
  uint32_t keyHi;          // 16: high word
  uint32_t flags;          // 20: 0x8000 = side to move in check; rest search/eval
  int16_t staticEval;      // 24: evaluation of the ply
  uint16_t word26;         // 26: search-owned
  uint16_t threatMove;     // 28: recorded threat move (checker*64 + check square)
  uint8_t threatMeasure;   // 30: threat measure of the evaluation
  int8_t oldThreatTrend;   // 31: threatTrend before the move
  int16_t gain;            // 32: material won minus threat on the destination
  uint16_t word34;         // 34: search-owned
};
static_assert(sizeof(PlyRecord) == 36);
static_assert(offsetof(PlyRecord, capturedSlot) == 2);
static_assert(offsetof(PlyRecord, capturedType) == 4);
static_assert(offsetof(PlyRecord, mover) == 5);
static_assert(offsetof(PlyRecord, oldMoveCount) == 6);
static_assert(offsetof(PlyRecord, oldEpSquare) == 7);
static_assert(offsetof(PlyRecord, oldIrreversible) == 8);
static_assert(offsetof(PlyRecord, keyLo) == 12);
static_assert(offsetof(PlyRecord, keyHi) == 16);
static_assert(offsetof(PlyRecord, flags) == 20);
static_assert(offsetof(PlyRecord, staticEval) == 24);
static_assert(offsetof(PlyRecord, threatMove) == 28);
static_assert(offsetof(PlyRecord, threatMeasure) == 30);
static_assert(offsetof(PlyRecord, oldThreatTrend) == 31);
static_assert(offsetof(PlyRecord, gain) == 32);

// One half-move of the game. Bytes 0..19 match PlyRecord.
struct GameRecord {
  Move move;               // 0; bit 15 marks a checking move
  uint16_t capturedSlot;   // 2
  uint8_t capturedType;    // 4
  uint8_t mover;           // 5
  uint8_t oldMoveCount;    // 6
  uint8_t oldEpSquare;     // 7
  uint16_t oldIrreversible;// 8
  uint16_t flags;          // 10: 0x8000 in check, 0x10 search info, 0x20 full strength, bits 8..11 verdict, 0x1000 book
  uint32_t keyLo;          // 12: key of the position before the move
  uint32_t keyHi;          // 16
  int16_t score;           // 20: engine's score for the move, mover's view
  uint16_t styleDepth;     // 22: bits 0..4 algebraic style, bits 10..15 depth
  uint32_t thinkTime;      // 24: mover's cumulative thinking time, ms
  uint32_t spare;          // 28
};
static_assert(sizeof(GameRecord) == 32);

// GameRecord flag bits set from the engine's search of a move.
constexpr uint16_t RecordSearchInfo = 0x10;     // score, depth and time are the engine's
constexpr uint16_t RecordFullStrength = 0x20;   // chosen with no node-rate limit in force
constexpr uint16_t RecordVerdictMask = 0xF00;   // root verdict of the move
constexpr uint16_t RecordGivesMate = 0x500;
constexpr uint16_t RecordBookMove = 0x1000;     // played from the book
static_assert(offsetof(GameRecord, keyLo) == 12);
static_assert(offsetof(GameRecord, keyHi) == 16);

constexpr int MaxPly = 64;          // entries of plyStack; the line holds 63 plies
constexpr int MaxMovesPerPly = 320; // above the most pseudo-legal moves of any position

// What a move changes besides the board itself: the threat value of the man
// on each square and both sides' attack tables. Make copies them into the
// slot of the new ply and updates the copy, so unmake only returns to the
// slot before; one slot per ply record.
struct alignas(64) BoardTables {
  int16_t pieceThreat[64];
  AttackTable attackTable[2];
};
static_assert(sizeof(BoardTables) == 1152);
extern BoardTables boardTables[MaxPly];

// The one board. Fields keep the widths the rest of the engine relies on.
struct Position {
  uint32_t sideToMove;
  PlyRecord* plyTop;
  uint32_t plyCount;
  uint32_t lastIrreversiblePly;
  int32_t threatBalance;
  int32_t threatTrend;
  uint64_t hashKey;               // low word carries the square keys
  uint64_t occupied;              // a bit per square that holds a man
  AttackTable* attacksUs;
  AttackTable* attacksThem;
  PieceSet dirtyPieces[2];
  int32_t threatSum[2];
  int32_t threatSumBefore[2];
  uint8_t pieceOn[64];
  uint8_t colourOn[64];
  uint8_t moveCount[64];
  uint8_t pieceList[2][16];
  PieceSet pieceSet[2];
  PieceSet diagSliders[2];
  PieceSet orthoSliders[2];
  PieceSet sliders[2];
  PieceSet pawnsOnRank[2][8];
  const PieceSet* setForDirection[16];  // each points at a [2] pair, indexed by side
  const PieceSet* setForType[7];
  PieceSet pawnSet[2];
  PieceSet knightSet[2];
  PieceSet bishopSet[2];
  PieceSet rookSet[2];
  PieceSet queenSet[2];
  PieceSet emptySet[2];           // always empty; setForType[King]
  PieceSet evalSet[2];
  uint8_t pawnRanksOnFile[2][10]; // index 1..8 = files a..h; 0 and 9 stay 0
  uint32_t lastTo;
  uint32_t epSquare;              // 0 = none
  uint32_t materialSignature[2];
  int32_t material[2];
  uint32_t slotBitOn[64];
  BoardTables* tables = &boardTables[0];                // the tables of this position
  int16_t* pieceThreat = boardTables[0].pieceThreat;      // tables->pieceThreat
  AttackTable* attackTable = boardTables[0].attackTable;  // tables->attackTable, by side
  PlyRecord plyStack[MaxPly];
  int32_t lastMoveGain;
  uint8_t castleRookLong[2];
  uint8_t castleRookShort[2];
};

extern Position pos;

// Points the board at the tables in slot t, the side to move's first.
inline void useTables(BoardTables* t) {
  pos.tables = t;
  pos.pieceThreat = t->pieceThreat;
  pos.attackTable = t->attackTable;
  pos.attacksUs = &t->attackTable[pos.sideToMove];
  pos.attacksThem = &t->attackTable[pos.sideToMove ^ 1];
}

// Moves the tables of the position into the slot of the current ply record,
// where the next make expects them; for code that resets plyTop.
void settleTables();

// Nodes (makes and null moves) of the current search.
extern uint64_t nodeCount;

// Shared move buffer: the list of ply p runs from moveListStart[p] to
// moveListStart[p + 1]. Sized so that every ply can hold the longest list.
constexpr int MoveBufferSize = MaxPly * MaxMovesPerPly;
extern ScoredMove moveBuffer[MoveBufferSize];
extern ScoredMove* moveListStart[MaxPly + 1];

// Material values per PieceType.
constexpr int32_t pieceValue[7] = {0, 128, 416, 416, 640, 1248, 1248};

// materialSignature constants per PieceType (king none).
constexpr uint32_t signatureOf[7] = {0, 0x00010000, 0x00100103, 0x00400103, 0x01000105, 0x0400010A, 0};

// Letters of the men: index type for White, type + 6 for Black.
constexpr char pieceLetters[] = ".PNBRQKpnbrqk";

inline int kingSquare(int side) { return pos.pieceList[side][0]; }
inline bool isInCheck() { return pos.attacksThem->sq[kingSquare(pos.sideToMove)].directCounts != 0; }
