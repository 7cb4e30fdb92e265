// Reply parsing and the legality oracle of the edge tests.
#include "e2e/edge_support.h"

#include <chrono>
#include <cstdlib>
#include <sstream>
#include <unistd.h>

namespace edge {

std::vector<std::string> words(const std::string& text) {
  std::istringstream in(text);
  std::vector<std::string> out;
  for (std::string w; in >> w;) out.push_back(w);
  return out;
}

namespace {

// The values after "score <kind>" in the info lines.
std::vector<long long> scoresOfKind(const std::vector<std::string>& lines, const std::string& kind) {
  std::vector<long long> values;
  for (const std::string& l : lines) {
    std::vector<std::string> w = words(l);
    for (size_t i = 0; i + 2 < w.size(); i++)
      if (w[i] == "score" && w[i + 1] == kind) values.push_back(std::strtoll(w[i + 2].c_str(), nullptr, 10));
  }
  return values;
}

}  // namespace

std::vector<std::vector<std::string>> GoReply::pvs() const {
  std::vector<std::vector<std::string>> out;
  for (const std::string& l : infoLines) {
    std::vector<std::string> w = words(l);
    for (size_t i = 0; i < w.size(); i++)
      if (w[i] == "pv") {
        out.emplace_back(w.begin() + static_cast<long>(i) + 1, w.end());
        break;
      }
  }
  return out;
}

std::vector<long long> GoReply::centipawns() const { return scoresOfKind(infoLines, "cp"); }
std::vector<long long> GoReply::mates() const { return scoresOfKind(infoLines, "mate"); }

std::vector<std::string> GoReply::lastPv() const {
  std::vector<std::vector<std::string>> all = pvs();
  return all.empty() ? std::vector<std::string>() : all.back();
}

GoReply collect(EngineProcess& e, int timeoutMs) {
  using Clock = std::chrono::steady_clock;
  GoReply r;
  auto start = Clock::now();
  auto deadline = start + std::chrono::milliseconds(timeoutMs);
  std::string line;
  for (;;) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    if (left <= 0 || !e.readLine(line, static_cast<int>(left))) break;
    if (line.rfind("info", 0) == 0) r.infoLines.push_back(line);
    if (line.rfind("bestmove", 0) == 0) {
      r.bestLine = line;
      std::vector<std::string> w = words(line);
      if (w.size() >= 2) r.best = w[1];
      if (w.size() >= 4 && w[2] == "ponder") r.ponder = w[3];
      break;
    }
  }
  r.ms = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
  return r;
}

GoReply go(EngineProcess& e, const std::string& goLine, int timeoutMs) {
  auto start = std::chrono::steady_clock::now();
  if (!e.send(goLine)) return GoReply();
  GoReply r = collect(e, timeoutMs);
  r.ms = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count();
  return r;
}

bool Oracle::start() {
  if (access(OraclePath, X_OK) != 0) return false;
  EngineLaunch launch;
  launch.program = OraclePath;
  return program.start(launch) && program.handshake();
}

std::set<std::string> Oracle::legalMoves(const std::string& position) {
  std::set<std::string> moves;
  if (!program.send("position " + position) || !program.send("go perft 1")) return moves;
  std::string line;
  while (program.readLine(line)) {
    if (line.rfind("Nodes searched", 0) == 0) break;
    size_t colon = line.find(": ");
    if (colon >= 4 && colon <= 5) moves.insert(line.substr(0, colon));
  }
  return moves;
}

std::string after(const std::string& position, const std::vector<std::string>& line) {
  std::string text = position;
  if (line.empty()) return text;
  if (text.find(" moves") == std::string::npos && text.rfind("moves", 0) != 0) text += " moves";
  for (const std::string& m : line) text += " " + m;
  return text;
}

std::string Oracle::checkLine(const std::string& position, const std::vector<std::string>& line) {
  std::vector<std::string> played;
  for (const std::string& m : line) {
    std::set<std::string> legal = legalMoves(after(position, played));
    if (legal.count(m) == 0) return "illegal " + m + " after [" + after(position, played) + "]";
    played.push_back(m);
  }
  return "";
}

std::string Oracle::checkReply(const std::string& position, const GoReply& reply) {
  if (reply.bestLine.empty()) return "no bestmove";
  std::set<std::string> legal = legalMoves(position);
  if (legal.empty()) return reply.best == "0000" ? "" : "no legal move, yet bestmove " + reply.best;
  if (legal.count(reply.best) == 0) return "bestmove " + reply.best + " is not legal in [" + position + "]";
  if (!reply.ponder.empty()) {
    std::string why = checkLine(position, {reply.best, reply.ponder});
    if (!why.empty()) return "ponder move: " + why;
  }
  for (const std::vector<std::string>& pv : reply.pvs()) {
    std::string why = checkLine(position, pv);
    if (!why.empty()) return "pv: " + why;
  }
  return "";
}

}  // namespace edge
