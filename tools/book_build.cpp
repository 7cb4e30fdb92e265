// braxen-tool book: builds an opening book from PGN games and checks book
// files. Each game is replayed on the engine's own board, so the keys are
// exactly the ones the engine looks up.
#include "tools/book_build.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <map>

#include <sys/stat.h>
#include <unistd.h>

#include "board/history.h"
#include "board/movegen.h"
#include "board/position.h"
#include "board/setup.h"
#include "platform/platform.h"
#include "tools/progress.h"
#include "tools/tools.h"

namespace {

constexpr int DefaultPlies = 24;
constexpr int DefaultMinGames = 2;

// (key, key check, from/to) of a position and move, as one sortable word.
uint64_t statsKey(uint32_t key, uint8_t check, uint16_t move) {
  return (static_cast<uint64_t>(key) << 32) | (static_cast<uint64_t>(check) << 16) | move;
}

// The mover's points for a result text, or -1 when the result is unknown.
double moverPoints(const std::string& result, int mover) {
  if (result == "1/2-1/2") return 0.5;
  if (result == "1-0") return mover == White ? 1 : 0;
  if (result == "0-1") return mover == Black ? 1 : 0;
  return -1;
}

// Replays one game's opening and counts its moves. False when a move of it
// could not be played.
bool countGame(const PgnGame& g, int plies, std::map<uint64_t, MoveTally>* tallies) {
  newGame();
  const int n = std::min(plies, static_cast<int>(g.moves.size()));
  const std::string result = g.result.empty() ? g.tag("Result") : g.result;
  for (int i = 0; i < n; ++i) {
    Move m = parseMoveText(g.moves[i].c_str());
    if (m == 0 || !completeMove(pos.sideToMove, &m)) return false;
    const int mover = static_cast<int>(pos.sideToMove);
    const uint32_t key = (static_cast<uint32_t>(pos.hashKey) & ~1u) | (mover == White ? 1u : 0u);
    const uint8_t check = static_cast<uint8_t>(pos.hashKey >> 40);
    if (!playGameMove(m)) return false;
    MoveTally& t = (*tallies)[statsKey(key, check, static_cast<uint16_t>(m & FromToMask))];
    t.games++;
    const double p = moverPoints(result, mover);
    if (p >= 0) {
      t.scored++;
      t.points += p;
    }
  }
  return true;
}

// The engine's data folder exists only once the engine has run; a book
// built into it before that creates it. Other folders are left to the user.
void makeDataFolderFor(const std::string& out) {
  const size_t slash = out.find_last_of('/');
  if (slash == std::string::npos) return;
  std::string folder = out.substr(0, slash);
  while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
  char dataFolder[4096];
  platformDataFolderName(dataFolder, sizeof dataFolder);
  if (dataFolder[0] != '\0' && folder == dataFolder) platformDataFolder(dataFolder, sizeof dataFolder);
}

uint64_t fileSize(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0 ? static_cast<uint64_t>(st.st_size) : 0;
}

bool readCount(const char* text, int low, int high, int* out) {
  char* end = nullptr;
  const long v = std::strtol(text, &end, 10);
  if (end == text || *end != '\0' || v < low || v > high) return false;
  *out = static_cast<int>(v);
  return true;
}

int buildCommand(int argc, char** argv) {
  std::string out;
  std::vector<std::string> inputs;
  int plies = DefaultPlies, minGames = DefaultMinGames;
  for (int i = 2; i < argc; ++i) {
    const std::string a = argv[i];
    if (a == "--plies" && i + 1 < argc) {
      if (!readCount(argv[++i], 1, 200, &plies)) return std::fprintf(stderr, "book build: --plies 1..200\n"), 2;
    } else if (a == "--min-games" && i + 1 < argc) {
      if (!readCount(argv[++i], 1, 1000000, &minGames)) return std::fprintf(stderr, "book build: --min-games 1..\n"), 2;
    } else if (out.empty()) {
      out = a;
    } else {
      inputs.push_back(a);
    }
  }
  if (out.empty() || inputs.empty()) {
    std::fprintf(stderr, "usage: braxen-tool book build OUT.bxk PGN [PGN...] [--plies N] [--min-games K]\n");
    return 2;
  }
  // Files are read one at a time; the progress counts bytes of all of them.
  std::vector<uint64_t> sizes;
  uint64_t totalBytes = 0;
  for (const std::string& path : inputs) {
    sizes.push_back(fileSize(path));
    totalBytes += sizes.back();
  }
  BookBuilder builder;
  builder.plies = plies;
  ProgressMeter meter;
  progressBegin(&meter, totalBytes);
  uint64_t bytesBefore = 0;
  for (size_t f = 0; f < inputs.size(); ++f) {
    progressUpdate(&meter, bytesBefore, "reading %s", inputs[f].c_str());
    std::vector<PgnGame> games;
    if (!readPgnFile(inputs[f], &games)) {
      progressEnd(&meter);
      return std::fprintf(stderr, "book build: cannot read %s\n", inputs[f].c_str()), 1;
    }
    // Reading a file takes about as long as replaying its games: each is
    // taken as half of the file's share of the work.
    for (size_t i = 0; i < games.size(); ++i) {
      bookAddGame(&builder, games[i]);
      const uint64_t done = bytesBefore + sizes[f] / 2 + sizes[f] / 2 * (i + 1) / games.size();
      progressUpdate(&meter, done, "games read %d, moves counted %zu", builder.counts.games, builder.tallies.size());
    }
    bytesBefore += sizes[f];
  }
  progressEnd(&meter);
  const std::vector<BookEntry> book = bookFinish(&builder, minGames);
  const BookBuildCounts& counts = builder.counts;
  makeDataFolderFor(out);
  if (!writeBookFile(out, book)) return std::fprintf(stderr, "book build: cannot write %s\n", out.c_str()), 1;
  std::printf("games read: %d\nskipped (set-up or variant): %d\nstopped at an illegal move: %d\n", counts.games,
              counts.skippedSetUp, counts.stoppedIllegal);
  std::printf("positions: %d\nmoves left out by their score: %d\nrecords written: %zu to %s\n", counts.positions,
              counts.leftOut, book.size(), out.c_str());
  return 0;
}

int infoCommand(int argc, char** argv) {
  if (argc < 3) return std::fprintf(stderr, "usage: braxen-tool book info FILE\n"), 2;
  std::string problem;
  const long n = checkBookFile(argv[2], &problem);
  if (n < 0) return std::fprintf(stderr, "book info: %s: %s\n", argv[2], problem.c_str()), 1;
  std::printf("%s: %ld records, sorted\n", argv[2], n);
  return 0;
}

}  // namespace

double scoreEdge(int scored, double points, double mean) {
  return (points - scored * mean) / (scored + ScorePriorGames);
}

int bookClass(const MoveShare& m) {
  // Smallest share of the position's games for classes 2..7; any rarer move
  // that passed the game count is class 1, playable under Wild only.
  constexpr double classShare[8] = {0, 0, 0.02, 0.06, 0.10, 0.16, 0.25, 0.40};
  const double share = m.positionGames > 0 ? static_cast<double>(m.games) / m.positionGames : 0;
  int c = 1;
  while (c < 7 && share >= classShare[c + 1]) ++c;
  // A main-line candidate also needs a tenth of the games of the most played
  // move, so a side line beside one dominant move stays out of the main lines.
  if (c == 3 && m.games * 10 < m.mostGames) c = 2;
  // The most played move of a position is always a main-line candidate.
  if (m.games == m.mostGames && c < 3) c = 3;
  // A clearly worse score costs one or two classes, yet a common move stays
  // reachable for Wild unless it loses outright; a clearly better score
  // lifts a main-line candidate, never a rare move into the main lines.
  const int base = c;
  if (m.scoreEdge <= -0.08) c -= 2;
  else if (m.scoreEdge <= -0.04) c -= 1;
  else if (m.scoreEdge >= 0.05 && c >= 3) c += 1;
  if (m.score < 0.30) c -= 1;
  if (base >= 2 && c < 1 && m.scoreEdge > -0.15) c = 1;
  return std::max(0, std::min(7, c));
}

void bookAddGame(BookBuilder* b, const PgnGame& g) {
  b->counts.games++;
  if (!g.fromStandardStart()) {
    b->counts.skippedSetUp++;
    return;
  }
  if (!countGame(g, b->plies, &b->tallies)) b->counts.stoppedIllegal++;
}

std::vector<BookEntry> bookFinish(BookBuilder* b, int minGames) {
  std::vector<BookEntry> book;
  // A position's moves are adjacent in the map: take them a position at a
  // time for its game total, its most played move and its average score.
  for (auto first = b->tallies.begin(); first != b->tallies.end();) {
    auto last = first;
    int positionGames = 0, mostGames = 0, scored = 0;
    double points = 0;
    for (; last != b->tallies.end() && (last->first >> 16) == (first->first >> 16); ++last) {
      const MoveTally& t = last->second;
      positionGames += t.games;
      mostGames = std::max(mostGames, t.games);
      scored += t.scored;
      points += t.points;
    }
    const double mean = scored > 0 ? points / scored : 0.5;
    bool kept = false;
    for (auto it = first; it != last; ++it) {
      const MoveTally& t = it->second;
      if (t.games < minGames) continue;
      const int c = bookClass({t.games, positionGames, mostGames, scoreEdge(t.scored, t.points, mean),
                               shrunkScore(t.scored, t.points)});
      if (c == 0) {
        b->counts.leftOut++;
        continue;
      }
      const uint64_t k = it->first;
      const uint16_t check = static_cast<uint16_t>((k >> 16) & 0xFF);
      book.push_back({static_cast<uint32_t>(k >> 32), static_cast<uint16_t>((k & 0xFFF) | (c << 12)),
                      static_cast<uint16_t>((c * 4) | (check << 8))});
      kept = true;
    }
    if (kept) b->counts.positions++;
    first = last;
  }
  // The engine needs the keys in order; within a position the heaviest first.
  std::stable_sort(book.begin(), book.end(), [](const BookEntry& x, const BookEntry& y) {
    if (x.key != y.key) return x.key < y.key;
    return (x.move >> 12) > (y.move >> 12);
  });
  return book;
}

std::vector<BookEntry> buildBook(const std::vector<PgnGame>& games, int plies, int minGames, BookBuildCounts* counts) {
  BookBuilder b;
  b.plies = plies;
  for (const PgnGame& g : games) bookAddGame(&b, g);
  std::vector<BookEntry> book = bookFinish(&b, minGames);
  *counts = b.counts;
  return book;
}

// The book is written whole beside its old version and renamed over it,
// so that an interrupted build never leaves a broken book where the engine
// looks for one.
bool writeBookFile(const std::string& path, const std::vector<BookEntry>& entries) {
  std::vector<char> tempName(path.size() + 32);
  FILE* f = platformBeginReplace(path.c_str(), tempName.data(), tempName.size());
  if (f == nullptr) return false;
  auto put = [f](uint32_t v, int bytes) {
    for (int i = 0; i < bytes; ++i) std::fputc(static_cast<int>((v >> (8 * i)) & 0xFF), f);
  };
  put(static_cast<uint32_t>(entries.size()), 4);
  for (const BookEntry& e : entries) {
    put(e.key, 4);
    put(e.move, 2);
    put(e.learn, 2);
  }
  return platformFinishReplace(f, tempName.data(), path.c_str(), std::ferror(f) == 0);
}

long checkBookFile(const std::string& path, std::string* problem) {
  FILE* f = std::fopen(path.c_str(), "rb");
  if (f == nullptr) return *problem = "cannot be opened", -1;
  unsigned char b[8];
  long n = -1;
  if (std::fread(b, 1, 4, f) == 4) {
    const uint32_t count = b[0] | (b[1] << 8) | (b[2] << 16) | (static_cast<uint32_t>(b[3]) << 24);
    uint32_t last = 0, read = 0;
    size_t got;
    while ((got = std::fread(b, 1, 8, f)) == 8) {
      const uint32_t key = b[0] | (b[1] << 8) | (b[2] << 16) | (static_cast<uint32_t>(b[3]) << 24);
      if (read > 0 && key < last) *problem = "keys out of order at record " + std::to_string(read);
      last = key;
      read++;
    }
    if (problem->empty() && got != 0) *problem = "ends in the middle of a record";
    if (problem->empty() && read != count)
      *problem = "header says " + std::to_string(count) + " records, file holds " + std::to_string(read);
    if (problem->empty()) n = count;
  } else {
    *problem = "shorter than its header";
  }
  std::fclose(f);
  return n;
}

int bookCommand(int argc, char** argv) {
  if (argc >= 2 && std::strcmp(argv[1], "build") == 0) return buildCommand(argc, argv);
  if (argc >= 2 && std::strcmp(argv[1], "info") == 0) return infoCommand(argc, argv);
  if (argc >= 2 && std::strcmp(argv[1], "probe") == 0) return bookProbeCommand(argc, argv);
  std::fprintf(stderr, "usage: braxen-tool book build OUT.bxk PGN [PGN...] [--plies N] [--min-games K]\n"
                       "       braxen-tool book info FILE\n"
                       "       braxen-tool book probe [--book FILE] [--static] FEN|startpos [moves ...]\n");
  return 2;
}
