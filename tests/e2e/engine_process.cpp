// Pipes, fork/exec and timeouts for the end-to-end tests, the reply to one
// "go", and the legality oracle.
#include "e2e/engine_process.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <ftw.h>
#include <poll.h>
#include <sstream>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;

Clock::time_point deadlineIn(int ms) { return Clock::now() + std::chrono::milliseconds(ms); }

int msLeft(Clock::time_point deadline) {
  auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
  return left < 0 ? 0 : static_cast<int>(left);
}

int removeEntry(const char* path, const struct stat*, int, struct FTW*) {
  remove(path);
  return 0;
}

}  // namespace

EngineProcess::EngineProcess() { signal(SIGPIPE, SIG_IGN); }

EngineProcess::~EngineProcess() {
  finish();
  if (!tempFolder.empty() && getenv("BRAXEN_KEEP_TEST_FOLDERS") == nullptr)
    nftw(tempFolder.c_str(), removeEntry, 16, FTW_DEPTH | FTW_PHYS);
}

bool EngineProcess::start(const EngineLaunch& launch) {
  const char* tmp = getenv("TMPDIR");
  std::string pattern = std::string(tmp != nullptr && tmp[0] != '\0' ? tmp : "/tmp") + "/braxen-e2e-XXXXXX";
  std::vector<char> name(pattern.begin(), pattern.end());
  name.push_back('\0');
  if (mkdtemp(name.data()) == nullptr) return false;
  tempFolder = name.data();

  int in[2], out[2];
  if (pipe2(in, O_CLOEXEC) != 0) return false;
  if (pipe2(out, O_CLOEXEC) != 0) return close(in[0]), close(in[1]), false;
  std::vector<std::string> argStore = {launch.program};
  argStore.insert(argStore.end(), launch.args.begin(), launch.args.end());
  std::vector<char*> argv;
  for (std::string& a : argStore) argv.push_back(a.data());
  argv.push_back(nullptr);
  std::string errPath = tempFolder + "/stderr.txt";

  pid = fork();
  if (pid < 0) return false;
  if (pid == 0) {
    dup2(in[0], 0);
    dup2(out[1], 1);
    int err = open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (err >= 0) dup2(err, 2);
    signal(SIGPIPE, SIG_DFL);
    if (chdir(tempFolder.c_str()) != 0) _exit(126);
    setenv("APPDATA", tempFolder.c_str(), 1);
    for (const std::string& e : launch.env) putenv(const_cast<char*>(e.c_str()));
    execve(argv[0], argv.data(), environ);
    _exit(127);
  }
  close(in[0]);
  close(out[1]);
  toEngine = in[1];
  fromEngine = out[0];
  return true;
}

bool EngineProcess::sendRaw(const std::string& bytes, int timeoutMs) {
  if (toEngine < 0) return false;
  auto deadline = deadlineIn(timeoutMs);
  size_t done = 0;
  while (done < bytes.size()) {
    pollfd p{toEngine, POLLOUT, 0};
    int r = poll(&p, 1, msLeft(deadline));
    if (r < 0 && errno == EINTR) continue;
    if (r <= 0 || (p.revents & (POLLERR | POLLHUP | POLLNVAL)) != 0) return false;
    ssize_t n = write(toEngine, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<size_t>(n);
  }
  return true;
}

bool EngineProcess::send(const std::string& line, int timeoutMs) { return sendRaw(line + "\n", timeoutMs); }

void EngineProcess::closeInput() {
  if (toEngine >= 0) close(toEngine);
  toEngine = -1;
}

void EngineProcess::closeOutput() {
  if (fromEngine >= 0) close(fromEngine);
  fromEngine = -1;
  outputEnded = true;
}

// Waits for more output; false on timeout or when the output has ended.
bool EngineProcess::fillOutput(int timeoutMs) {
  if (outputEnded || fromEngine < 0) return false;
  auto deadline = deadlineIn(timeoutMs);
  for (;;) {
    pollfd p{fromEngine, POLLIN, 0};
    int r = poll(&p, 1, msLeft(deadline));
    if (r < 0 && errno == EINTR) continue;
    if (r <= 0) return false;
    char chunk[4096];
    ssize_t n = read(fromEngine, chunk, sizeof chunk);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return outputEnded = true, false;
    pendingOutput.append(chunk, static_cast<size_t>(n));
    return true;
  }
}

bool EngineProcess::readLine(std::string& line, int timeoutMs) {
  auto deadline = deadlineIn(timeoutMs);
  size_t nl;
  while ((nl = pendingOutput.find('\n')) == std::string::npos && fillOutput(msLeft(deadline))) {
  }
  // At the end of the output a last line may lack its newline.
  if (nl == std::string::npos && (!outputEnded || pendingOutput.empty())) return false;
  line = pendingOutput.substr(0, nl);
  pendingOutput.erase(0, nl == std::string::npos ? nl : nl + 1);
  allLines.push_back(line);
  return true;
}

std::string EngineProcess::waitFor(const std::string& prefix, int timeoutMs) {
  auto deadline = deadlineIn(timeoutMs);
  std::string line;
  while (readLine(line, msLeft(deadline)))
    if (line.compare(0, prefix.size(), prefix) == 0) return line;
  return "";
}

std::vector<std::string> EngineProcess::linesFor(int ms) {
  auto deadline = deadlineIn(ms);
  std::vector<std::string> seen;
  std::string line;
  while (msLeft(deadline) > 0 && readLine(line, msLeft(deadline))) seen.push_back(line);
  return seen;
}

std::vector<std::string> EngineProcess::syncLines(bool& ok, int timeoutMs) {
  auto deadline = deadlineIn(timeoutMs);
  std::vector<std::string> seen;
  ok = false;
  std::string line;
  if (send("isready"))
    while (!ok && readLine(line, msLeft(deadline)))
      if (!(ok = line == "readyok")) seen.push_back(line);
  return seen;
}

bool EngineProcess::running() {
  if (pid <= 0) return false;
  int status;
  pid_t r = waitpid(pid, &status, WNOHANG);
  if (r == 0) return true;
  if (r == pid) exitStatus = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  pid = -1;
  return false;
}

int EngineProcess::waitExit(int timeoutMs) {
  exitWaited = true;
  auto deadline = deadlineIn(timeoutMs);
  while (running()) {
    if (msLeft(deadline) == 0) {
      kill(pid, SIGKILL);
      waitpid(pid, nullptr, 0);
      pid = -1;
      return -1;
    }
    // Keep draining output so that a chatty program cannot block on a full pipe.
    if (!outputEnded && fillOutput(5)) continue;
    usleep(2000);
  }
  // What the program wrote last goes into lines() as well.
  std::string line;
  while (readLine(line, 200)) {
  }
  return exitStatus;
}

void EngineProcess::finish() {
  closeInput();
  if (running()) {
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
  }
  closeOutput();
}

std::string EngineProcess::readFile(const std::string& name) const {
  return fileText(name.empty() || name[0] != '/' ? tempFolder + "/BRAXEN Chess/" + name : name);
}

std::string EngineProcess::transcript() const {
  std::string t;
  for (const std::string& l : allLines) t += l + "\n";
  return t;
}

bool anyStartsWith(const std::vector<std::string>& lines, const std::string& prefix) {
  for (const std::string& l : lines)
    if (l.rfind(prefix, 0) == 0) return true;
  return false;
}

std::vector<std::vector<std::string>> GoReply::pvs() const {
  std::vector<std::vector<std::string>> out;
  for (const std::string& l : infoLines) {
    size_t at = l.find(" pv ");
    if (at != std::string::npos) out.push_back(words(l.substr(at + 4)));
  }
  return out;
}

std::vector<long long> GoReply::scores(const std::string& kind) const {
  std::vector<long long> values;
  for (const std::string& l : infoLines) {
    std::vector<std::string> w = words(l);
    for (size_t i = 0; i + 2 < w.size(); i++)
      if (w[i] == "score" && w[i + 1] == kind) values.push_back(std::strtoll(w[i + 2].c_str(), nullptr, 10));
  }
  return values;
}

GoReply collect(EngineProcess& e, int timeoutMs) {
  GoReply r;
  auto start = Clock::now();
  auto deadline = start + std::chrono::milliseconds(timeoutMs);
  std::string line;
  while (msLeft(deadline) > 0 && e.readLine(line, msLeft(deadline))) {
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
  return e.send(goLine) ? collect(e, timeoutMs) : GoReply();
}

bool Oracle::start() { return access(OraclePath, X_OK) == 0 && program.start(OraclePath) && program.handshake(); }

std::set<std::string> Oracle::legalMoves(const std::string& position) {
  std::set<std::string> moves;
  if (!program.send("position " + position) || !program.send("go perft 1")) return moves;
  std::string line;
  while (program.readLine(line) && line.rfind("Nodes searched", 0) != 0) {
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
    if (legalMoves(after(position, played)).count(m) == 0) return "illegal " + m + " after [" + after(position, played) + "]";
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
