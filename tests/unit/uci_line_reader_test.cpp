// The line reader over a descriptor and its non-blocking availability test.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstdio>
#include <string>
#include <unistd.h>

#include "platform/platform.h"

namespace {

char line[PlatformLineMax + 1];

// A pipe whose read end feeds the reader; the write end stays with the test.
struct PipeInput {
  int fds[2];
  PipeInput() {
    EXPECT_EQ(pipe(fds), 0);
    platformSetInputFd(fds[0]);
  }
  ~PipeInput() {
    closeWriter();
    close(fds[0]);
    platformSetInputFd(0);
  }
  void write(const std::string& s) { ASSERT_EQ(::write(fds[1], s.data(), s.size()), static_cast<ssize_t>(s.size())); }
  void closeWriter() {
    if (fds[1] >= 0) close(fds[1]);
    fds[1] = -1;
  }
};

// Input from a temporary file, for contents larger than a pipe holds.
struct FileInput {
  FILE* f;
  explicit FileInput(const std::string& content) {
    f = tmpfile();
    fwrite(content.data(), 1, content.size(), f);
    fflush(f);
    rewind(f);
    platformSetInputFd(fileno(f));
  }
  ~FileInput() {
    fclose(f);
    platformSetInputFd(0);
  }
};

std::string next() {
  int err = -1;
  long n = platformReadLine(line, &err);
  if (n < 0) return "<end " + std::to_string(err) + ">";
  EXPECT_EQ(static_cast<size_t>(n), std::string(line).size()) << "length must match the text";
  return line;
}

// Line ends and trailing blanks are trimmed, leading blanks kept, control
// bytes become spaces, other bytes stay, and an unterminated last line counts.
TEST(LineReader, TrimsLineEndsAndKeepsTheLastUnterminatedLine) {
  FileInput in(std::string("uci\r\nisready  \t\r\n\n   \nstop\r\n  position startpos\ngo\0depth\t3\x01\n"
                           "\xff\xfe\x80z\nquit", 69));
  for (const char* want : {"uci", "isready", "", "", "stop", "  position startpos", "go depth 3", "\xff\xfe\x80z",
                           "quit", "<end 0>", "<end 0>"})
    EXPECT_EQ(next(), want);
}

TEST(LineReader, LongLinesComeWholeUpToTheLimitThenInPieces) {
  std::string moves = "position startpos moves";
  for (int i = 0; i < 800; i++) moves += i % 2 ? " e7e5" : " e2e4";  // 4000+ characters
  std::string exact(PlatformLineMax, 'a');
  std::string over(PlatformLineMax + 10, 'b');
  FileInput in(moves + "\n" + exact + "\n" + over + "\nisready\n");
  EXPECT_EQ(next(), moves);
  EXPECT_EQ(next(), exact);
  EXPECT_EQ(next(), std::string(PlatformLineMax, 'b'));
  EXPECT_EQ(next(), std::string(10, 'b'));
  EXPECT_EQ(next(), "isready");
  EXPECT_EQ(next(), "<end 0>");
}

TEST(LineReader, ManyLinesAcrossBufferRefills) {
  std::string content;
  for (int i = 0; i < 30000; i++) content += "setoption name Hash value " + std::to_string(i) + "\n";
  FileInput in(content);
  for (int i = 0; i < 30000; i++) ASSERT_EQ(next(), "setoption name Hash value " + std::to_string(i));
  EXPECT_EQ(next(), "<end 0>");
}

TEST(LineReader, ReadErrorReportsItsErrno) {
  int fds[2];
  ASSERT_EQ(pipe(fds), 0);
  close(fds[0]);
  close(fds[1]);
  platformSetInputFd(fds[0]);  // closed: every read fails with EBADF
  EXPECT_TRUE(platformInputAvailable()) << "a broken input must be seen so the engine can end";
  EXPECT_EQ(next(), "<end " + std::to_string(EBADF) + ">");
  platformSetInputFd(0);
}

TEST(InputAvailable, SeesBufferedLinesAndIgnoresHalfLines) {
  PipeInput in;
  EXPECT_FALSE(platformInputAvailable());
  in.write("isready\nsto");
  EXPECT_TRUE(platformInputAvailable());
  EXPECT_EQ(next(), "isready");
  EXPECT_FALSE(platformInputAvailable()) << "a line still being written must not count";
  in.write("p\nponderhit\n");
  EXPECT_TRUE(platformInputAvailable());
  EXPECT_EQ(next(), "stop");
  // The pipe is empty now: the next line is only in the reader's buffer.
  EXPECT_TRUE(platformInputAvailable());
  EXPECT_EQ(next(), "ponderhit");
  EXPECT_FALSE(platformInputAvailable());
}

TEST(InputAvailable, EndOfInputCountsAsAvailable) {
  PipeInput in;
  in.write("quit");
  EXPECT_FALSE(platformInputAvailable());
  in.closeWriter();
  EXPECT_TRUE(platformInputAvailable());
  EXPECT_EQ(next(), "quit");
  EXPECT_TRUE(platformInputAvailable());
  EXPECT_EQ(next(), "<end 0>");
}

}  // namespace
