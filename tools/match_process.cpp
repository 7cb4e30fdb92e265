// Engine processes for the match runner: start through fork/exec with two
// pipes, line-wise reading with poll and a deadline, and shutting down.
// Nothing here blocks past its deadline, so an engine that stops answering
// never hangs the match.
#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <strings.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <cstring>

#include "tools/match.h"

namespace match {

int64_t monotonicMicros() {
  timespec ts;
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<int64_t>(ts.tv_sec) * 1000000 + ts.tv_nsec / 1000;
}

namespace {

// Milliseconds to wait in poll until the deadline, rounded up so that a
// wait never ends before it.
int pollTimeout(int64_t deadlineMicros) {
  int64_t left = deadlineMicros - monotonicMicros();
  if (left <= 0) return 0;
  int64_t ms = (left + 999) / 1000;
  return ms > 1000000 ? 1000000 : static_cast<int>(ms);
}

std::vector<std::string> splitCommand(const std::string& command) {
  std::vector<std::string> words;
  size_t i = 0;
  while (i < command.size()) {
    while (i < command.size() && command[i] == ' ') ++i;
    size_t start = i;
    while (i < command.size() && command[i] != ' ') ++i;
    if (i > start) words.push_back(command.substr(start, i - start));
  }
  return words;
}

void closeFd(int& fd) {
  if (fd >= 0) close(fd);
  fd = -1;
}

// The child side of startEngine: never returns.
[[noreturn]] void execEngine(int stdinFd, int stdoutFd, int errorFd, char** argv) {
  setpgid(0, 0);  // own process group: a kill reaches everything it started
  signal(SIGPIPE, SIG_DFL);
  dup2(stdinFd, 0);
  dup2(stdoutFd, 1);
  int devNull = open("/dev/null", O_WRONLY);
  if (devNull >= 0) dup2(devNull, 2);
  for (int fd = 3; fd < 1024; ++fd)
    if (fd != errorFd) close(fd);
  execvp(argv[0], argv);
  int err = errno;
  ssize_t ignored = write(errorFd, &err, sizeof err);
  (void)ignored;
  _exit(127);
}

}  // namespace

bool startEngine(EngineProcess& e, const EngineSetup& setup, std::string& error) {
  std::vector<std::string> words = splitCommand(setup.command);
  if (words.empty()) {
    error = "empty engine command";
    return false;
  }
  std::vector<char*> argv;
  for (std::string& w : words) argv.push_back(w.data());
  argv.push_back(nullptr);

  int toChild[2], fromChild[2], execError[2];
  if (pipe(toChild) != 0) {
    error = std::strerror(errno);
    return false;
  }
  if (pipe(fromChild) != 0) {
    error = std::strerror(errno);
    close(toChild[0]);
    close(toChild[1]);
    return false;
  }
  // Reports a failed exec: the write end closes on a successful exec.
  if (pipe2(execError, O_CLOEXEC) != 0) {
    error = std::strerror(errno);
    for (int fd : {toChild[0], toChild[1], fromChild[0], fromChild[1]}) close(fd);
    return false;
  }
  pid_t pid = fork();
  if (pid < 0) {
    error = std::strerror(errno);
    for (int fd : {toChild[0], toChild[1], fromChild[0], fromChild[1], execError[0], execError[1]})
      close(fd);
    return false;
  }
  if (pid == 0) execEngine(toChild[0], fromChild[1], execError[1], argv.data());

  setpgid(pid, pid);  // also here, so that a kill right after fork finds the group
  close(toChild[0]);
  close(fromChild[1]);
  close(execError[1]);
  int childErrno = 0;
  ssize_t n;
  do n = read(execError[0], &childErrno, sizeof childErrno);
  while (n < 0 && errno == EINTR);
  close(execError[0]);

  e = EngineProcess();
  e.pid = pid;
  e.toEngine = toChild[1];
  e.fromEngine = fromChild[0];
  e.name = words[0];
  fcntl(e.toEngine, F_SETFL, fcntl(e.toEngine, F_GETFL) | O_NONBLOCK);
  fcntl(e.fromEngine, F_SETFL, fcntl(e.fromEngine, F_GETFL) | O_NONBLOCK);
  fcntl(e.toEngine, F_SETFD, FD_CLOEXEC);
  fcntl(e.fromEngine, F_SETFD, FD_CLOEXEC);
  if (n == static_cast<ssize_t>(sizeof childErrno)) {
    error = "cannot run " + words[0] + ": " + std::strerror(childErrno);
    killEngine(e);
    return false;
  }
  return true;
}

bool sendLine(EngineProcess& e, const std::string& line, int64_t deadlineMicros) {
  if (e.toEngine < 0) return false;
  std::string text = line + "\n";
  size_t done = 0;
  while (done < text.size()) {
    ssize_t n = write(e.toEngine, text.data() + done, text.size() - done);
    if (n > 0) {
      done += static_cast<size_t>(n);
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK) return false;  // EPIPE: gone
    pollfd p = {e.toEngine, POLLOUT, 0};
    int timeout = pollTimeout(deadlineMicros);
    if (timeout == 0) return false;
    if (poll(&p, 1, timeout) < 0 && errno != EINTR) return false;
  }
  return true;
}

ReadStatus readLine(EngineProcess& e, std::string& line, int64_t deadlineMicros) {
  for (;;) {
    size_t end = e.pending.find('\n');
    if (end != std::string::npos) {
      line.assign(e.pending, 0, end);
      e.pending.erase(0, end + 1);
      while (!line.empty() && (line.back() == '\r' || line.back() == ' ' || line.back() == '\t'))
        line.pop_back();
      return ReadStatus::Line;
    }
    if (e.fromEngine < 0) return ReadStatus::Closed;
    char buffer[4096];
    ssize_t n = read(e.fromEngine, buffer, sizeof buffer);
    if (n > 0) {
      e.pending.append(buffer, static_cast<size_t>(n));
      continue;
    }
    if (n == 0) {
      closeFd(e.fromEngine);
      if (!e.pending.empty()) e.pending.push_back('\n');  // last line without its end
      continue;
    }
    if (errno == EINTR) continue;
    if (errno != EAGAIN && errno != EWOULDBLOCK) {
      closeFd(e.fromEngine);
      continue;
    }
    int timeout = pollTimeout(deadlineMicros);
    if (timeout == 0) return ReadStatus::Timeout;
    pollfd p = {e.fromEngine, POLLIN, 0};
    poll(&p, 1, timeout);
  }
}

namespace {

// What an engine tells about itself before "uciok".
struct UciHello {
  std::string idName;
  bool hasPonder = false;
};

// Reads until a line equal to `want` (or starting with it and a blank),
// noting the engine's name and whether it offers a "Ponder" option.
bool waitFor(EngineProcess& e, const char* want, int64_t deadline, UciHello* hello) {
  std::string line;
  size_t len = std::strlen(want);
  for (;;) {
    if (readLine(e, line, deadline) != ReadStatus::Line) return false;
    if (line.compare(0, len, want) == 0 && (line.size() == len || line[len] == ' ')) return true;
    if (hello == nullptr) continue;
    if (line.compare(0, 8, "id name ") == 0) hello->idName = line.substr(8);
    if (line.compare(0, 18, "option name Ponder") == 0 && (line.size() == 18 || line[18] == ' '))
      hello->hasPonder = true;
  }
}

bool sameName(const std::string& a, const char* b) { return strcasecmp(a.c_str(), b) == 0; }

// The match never pondering, an engine that offers "Ponder" is told so
// (engines may plan longer moves while pondering is on), unless the user
// set the option himself.
bool ponderLeftToEngine(const EngineSetup& setup, const UciHello& hello) {
  if (!hello.hasPonder) return false;
  for (const std::string& name : setup.optionNames)
    if (sameName(name, "Ponder")) return false;
  return true;
}

}  // namespace

bool handshakeEngine(EngineProcess& e, const EngineSetup& setup, int timeoutMs, std::string& error) {
  int64_t deadline = monotonicMicros() + static_cast<int64_t>(timeoutMs) * 1000;
  UciHello hello;
  if (!sendLine(e, "uci", deadline) || !waitFor(e, "uciok", deadline, &hello)) {
    error = engineExited(e) ? "engine " + describeExit(e) + " before uciok" : "no uciok";
    return false;
  }
  if (!hello.idName.empty()) e.name = hello.idName;
  if (ponderLeftToEngine(setup, hello) && !sendLine(e, "setoption name Ponder value false", deadline)) {
    error = "engine stopped reading its input";
    return false;
  }
  for (size_t i = 0; i < setup.optionNames.size(); ++i) {
    std::string line = "setoption name " + setup.optionNames[i];
    if (!setup.optionValues[i].empty()) line += " value " + setup.optionValues[i];
    if (!sendLine(e, line, deadline)) {
      error = "engine stopped reading its input";
      return false;
    }
  }
  if (!waitReady(e, timeoutMs)) {
    error = engineExited(e) ? "engine " + describeExit(e) + " before readyok" : "no readyok";
    return false;
  }
  return true;
}

bool waitReady(EngineProcess& e, int timeoutMs) {
  int64_t deadline = monotonicMicros() + static_cast<int64_t>(timeoutMs) * 1000;
  return sendLine(e, "isready", deadline) && waitFor(e, "readyok", deadline, nullptr);
}

bool engineExited(EngineProcess& e) {
  if (e.pid < 0) return true;
  if (e.exited) return true;
  int status;
  pid_t r = waitpid(e.pid, &status, WNOHANG);
  if (r == e.pid) {
    e.exited = true;
    e.exitStatus = status;
  }
  return e.exited;
}

bool engineRunning(const EngineProcess& e) { return e.pid >= 0 && !e.exited && e.toEngine >= 0; }

void stopEngine(EngineProcess& e, int graceMs) {
  if (e.pid < 0) return;
  if (!e.exited) {
    int64_t deadline = monotonicMicros() + static_cast<int64_t>(graceMs) * 1000;
    sendLine(e, "quit", deadline);
    closeFd(e.toEngine);
    while (!engineExited(e) && monotonicMicros() < deadline) usleep(2000);
  }
  killEngine(e);
}

void killEngine(EngineProcess& e) {
  if (e.pid < 0) return;
  kill(-e.pid, SIGKILL);  // the group: shells and their children too
  if (!e.exited) {
    int status;
    pid_t r;
    do r = waitpid(e.pid, &status, 0);
    while (r < 0 && errno == EINTR);
    e.exited = true;
    e.exitStatus = r == e.pid ? status : 0;
  }
  closeFd(e.toEngine);
  closeFd(e.fromEngine);
  e.pid = -1;  // reaped: the number may be reused
}

std::string describeExit(const EngineProcess& e) {
  if (!e.exited) return "is running";
  if (WIFSIGNALED(e.exitStatus)) {
    int sig = WTERMSIG(e.exitStatus);
    const char* name = strsignal(sig);
    return "killed by signal " + std::to_string(sig) + (name ? std::string(" (") + name + ")" : "");
  }
  if (WIFEXITED(e.exitStatus)) return "exited with status " + std::to_string(WEXITSTATUS(e.exitStatus));
  return "ended";
}

}  // namespace match
