// Pipes, fork/exec and timeouts for the end-to-end tests.
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

int msLeft(Clock::time_point deadline) {
  auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
  return left < 0 ? 0 : static_cast<int>(left);
}

int removeEntry(const char* path, const struct stat*, int, struct FTW*) {
  remove(path);
  return 0;
}

void applyEnv(const std::string& entry) {
  size_t eq = entry.find('=');
  if (eq == std::string::npos)
    unsetenv(entry.c_str());
  else
    setenv(entry.substr(0, eq).c_str(), entry.substr(eq + 1).c_str(), 1);
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
  if (pipe2(out, O_CLOEXEC) != 0) {
    close(in[0]);
    close(in[1]);
    return false;
  }
  std::vector<std::string> argStore;
  argStore.push_back(launch.program);
  for (const std::string& a : launch.args) argStore.push_back(a);
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
    if (launch.setAppData) {
      setenv("APPDATA", tempFolder.c_str(), 1);
    } else {
      unsetenv("APPDATA");
      setenv("HOME", (tempFolder + "/home").c_str(), 1);
      setenv("XDG_DATA_HOME", (tempFolder + "/xdg").c_str(), 1);
    }
    for (const std::string& e : launch.env) applyEnv(e);
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
  auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
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
  auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
  for (;;) {
    pollfd p{fromEngine, POLLIN, 0};
    int r = poll(&p, 1, msLeft(deadline));
    if (r < 0 && errno == EINTR) continue;
    if (r <= 0) return false;
    char chunk[4096];
    ssize_t n = read(fromEngine, chunk, sizeof chunk);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      outputEnded = true;
      return false;
    }
    pendingOutput.append(chunk, static_cast<size_t>(n));
    return true;
  }
}

bool EngineProcess::readLine(std::string& line, int timeoutMs) {
  auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
  for (;;) {
    size_t nl = pendingOutput.find('\n');
    if (nl != std::string::npos) {
      line = pendingOutput.substr(0, nl);
      pendingOutput.erase(0, nl + 1);
      allLines.push_back(line);
      return true;
    }
    if (!fillOutput(msLeft(deadline))) {
      if (outputEnded && !pendingOutput.empty()) {  // a last line without newline
        line = pendingOutput;
        pendingOutput.clear();
        allLines.push_back(line);
        return true;
      }
      return false;
    }
  }
}

std::string EngineProcess::waitFor(const std::string& prefix, int timeoutMs) {
  auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
  std::string line;
  while (readLine(line, msLeft(deadline)))
    if (line.compare(0, prefix.size(), prefix) == 0) return line;
  return "";
}

std::vector<std::string> EngineProcess::linesFor(int ms) {
  auto deadline = Clock::now() + std::chrono::milliseconds(ms);
  std::vector<std::string> seen;
  std::string line;
  while (msLeft(deadline) > 0 && readLine(line, msLeft(deadline))) seen.push_back(line);
  return seen;
}

std::vector<std::string> EngineProcess::syncLines(bool& ok, int timeoutMs) {
  auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
  std::vector<std::string> seen;
  ok = false;
  if (!send("isready")) return seen;
  std::string line;
  while (readLine(line, msLeft(deadline))) {
    if (line == "readyok") {
      ok = true;
      break;
    }
    seen.push_back(line);
  }
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
  auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
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
  if (pid > 0) {
    if (running()) {
      kill(pid, SIGKILL);
      waitpid(pid, nullptr, 0);
    }
    pid = -1;
  }
  if (fromEngine >= 0) close(fromEngine);
  fromEngine = -1;
}

std::string EngineProcess::readFile(const std::string& name) const {
  std::string path = name.empty() || name[0] != '/' ? dataFolder() + "/" + name : name;
  std::ifstream f(path, std::ios::binary);
  if (!f) return "";
  std::ostringstream s;
  s << f.rdbuf();
  return s.str();
}

std::string EngineProcess::transcript() const {
  std::string t;
  for (const std::string& l : allLines) t += l + "\n";
  return t;
}

int countOccurrences(const std::string& text, const std::string& needle) {
  if (needle.empty()) return 0;
  int n = 0;
  for (size_t at = text.find(needle); at != std::string::npos; at = text.find(needle, at + needle.size())) n++;
  return n;
}
