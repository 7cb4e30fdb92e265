// Drives a real engine program through pipes for the end-to-end tests.
//
// Each EngineProcess runs its program in a fresh temporary folder: APPDATA
// points there (so the data folder is <tmp>/BRAXEN Chess), the working
// directory is the folder itself and standard error goes to <tmp>/stderr.txt.
// Everything is removed again when the object goes out of scope. No call
// waits longer than its timeout; a program still running at the end is
// killed.
#pragma once

#include <string>
#include <sys/types.h>
#include <vector>

#ifndef BRAXEN_ENGINE_PATH
#define BRAXEN_ENGINE_PATH "braxen-engine"
#endif
#ifndef BRAXEN_ENGINE_PB_PATH
#define BRAXEN_ENGINE_PB_PATH "braxen-engine-pb"
#endif
#ifndef BRAXEN_TOOL_PATH
#define BRAXEN_TOOL_PATH "braxen-tool"
#endif

// Generous default for replies: sanitizer builds are several times slower.
constexpr int ReplyTimeoutMs = 20000;

struct EngineLaunch {
  std::string program = BRAXEN_ENGINE_PATH;
  std::vector<std::string> args;  // after argv[0]
  // "NAME=value" sets a variable, "NAME" removes it; applied after APPDATA.
  std::vector<std::string> env;
  bool setAppData = true;  // false: APPDATA removed, HOME and XDG_DATA_HOME point into the folder
};

class EngineProcess {
 public:
  EngineProcess();
  ~EngineProcess();
  EngineProcess(const EngineProcess&) = delete;
  EngineProcess& operator=(const EngineProcess&) = delete;

  // Creates the temporary folder and starts the program; false on failure.
  bool start(const EngineLaunch& launch = EngineLaunch());
  bool start(const std::string& program) {
    EngineLaunch l;
    l.program = program;
    return start(l);
  }

  // Writes text plus "\n" (send) or the bytes as given (sendRaw). False when
  // the program no longer reads or the pipe stays full past the timeout.
  bool send(const std::string& line, int timeoutMs = ReplyTimeoutMs);
  bool sendRaw(const std::string& bytes, int timeoutMs = ReplyTimeoutMs);
  // Closes the program's standard input.
  void closeInput();
  // Closes the reading end of the program's standard output: its next
  // write fails.
  void closeOutput();

  // Next output line without its newline; false on timeout or end of output.
  bool readLine(std::string& line, int timeoutMs = ReplyTimeoutMs);
  // Reads until a line starts with prefix; returns it, or "" on timeout or
  // end of output. Every line read is also kept in transcript().
  std::string waitFor(const std::string& prefix, int timeoutMs = ReplyTimeoutMs);
  // Lines read during the next ms milliseconds (or until end of output).
  std::vector<std::string> linesFor(int ms);
  // Sends "uci" and reads up to "uciok"; false when it does not come.
  bool handshake(int timeoutMs = ReplyTimeoutMs) { return send("uci") && waitFor("uciok", timeoutMs) == "uciok"; }
  // Sends "isready" and returns the lines before "readyok" (the reply
  // itself is consumed); sets ok to whether "readyok" came.
  std::vector<std::string> syncLines(bool& ok, int timeoutMs = ReplyTimeoutMs);

  // Waits for the program to end: its exit status, 128 + signal number when
  // a signal ended it, -1 when it did not end in time (it is then killed).
  // The output not yet read is added to lines().
  int waitExit(int timeoutMs = ReplyTimeoutMs);
  bool running();

  const std::string& folder() const { return tempFolder; }      // the temporary root
  std::string dataFolder() const { return tempFolder + "/BRAXEN Chess"; }
  // Whole content of a file ("" when missing); relative names are taken in
  // the data folder.
  std::string readFile(const std::string& name) const;
  std::string stderrText() const { return readFile(tempFolder + "/stderr.txt"); }
  // Every output line read so far, one per line, for failure messages.
  std::string transcript() const;
  const std::vector<std::string>& lines() const { return allLines; }

 private:
  bool fillOutput(int timeoutMs);
  void finish();

  pid_t pid = -1;
  int toEngine = -1;
  int fromEngine = -1;
  bool outputEnded = false;
  int exitStatus = -1;
  std::string tempFolder;
  std::string pendingOutput;
  std::vector<std::string> allLines;
};

// Number of non-overlapping occurrences of needle in text.
int countOccurrences(const std::string& text, const std::string& needle);
