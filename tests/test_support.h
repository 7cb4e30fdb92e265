// Helpers shared by the unit and end-to-end tests: file text, the output of
// a shell command, a temporary folder, a seeded generator and the board part
// of a FEN.
#pragma once

#include <sys/wait.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace testsupport {

// Content of a file, "" when missing.
inline std::string fileText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  if (in) s << in.rdbuf();
  return s.str();
}

// Standard output of a shell command; status gets its exit code (-1 when it
// did not exit normally).
inline std::string commandOutput(const std::string& command, int* status = nullptr) {
  std::string text;
  FILE* p = popen(command.c_str(), "r");
  if (p == nullptr) return text;
  char buf[4096];
  for (size_t n; (n = fread(buf, 1, sizeof buf, p)) > 0;) text.append(buf, n);
  const int s = pclose(p);
  if (status != nullptr) *status = WIFEXITED(s) ? WEXITSTATUS(s) : -1;
  return text;
}

// Occurrences of needle that do not overlap.
inline int countOccurrences(const std::string& text, const std::string& needle) {
  int n = 0;
  if (!needle.empty())
    for (size_t at = text.find(needle); at != std::string::npos; at = text.find(needle, at + needle.size())) n++;
  return n;
}

inline std::vector<std::string> words(const std::string& text) {
  std::istringstream in(text);
  std::vector<std::string> out;
  for (std::string w; in >> w;) out.push_back(w);
  return out;
}

inline std::vector<std::string> linesOf(const std::string& text) {
  std::vector<std::string> out;
  std::istringstream in(text);
  for (std::string l; std::getline(in, l);) out.push_back(l);
  return out;
}

// A fresh folder under /tmp, removed with everything in it at the end.
struct TempFolder {
  std::string path;
  explicit TempFolder(const char* prefix = "braxen-test") {
    std::string pattern = std::string("/tmp/") + prefix + "-XXXXXX";
    if (mkdtemp(pattern.data()) != nullptr) path = pattern;
  }
  ~TempFolder() {
    if (!path.empty()) std::system(("rm -rf '" + path + "'").c_str());
  }
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;
};

// A 64-bit linear congruential generator; the upper bits are the output.
struct Lcg {
  uint64_t state;
  uint32_t next() {
    state = state * 6364136223846793005ULL + 1442695040888963407ULL;
    return static_cast<uint32_t>(state >> 33);
  }
  int below(int n) { return static_cast<int>(next() % static_cast<uint32_t>(n)); }
};

// The board part of a FEN from a letter per square (a1 = 0, '\0' empty).
inline std::string placementFen(const char* board) {
  std::string fen;
  for (int rank = 7; rank >= 0; --rank) {
    int gap = 0;
    for (int file = 0; file < 8; ++file) {
      const char c = board[rank * 8 + file];
      if (!c) {
        ++gap;
        continue;
      }
      if (gap) fen += static_cast<char>('0' + gap), gap = 0;
      fen += c;
    }
    if (gap) fen += static_cast<char>('0' + gap);
    if (rank) fen += '/';
  }
  return fen;
}

}  // namespace testsupport
