// A reader for PGN game files: tag pairs and the main line of each game's
// move text (comments, variations, NAGs and move numbers left out).
#pragma once

#include <string>
#include <vector>

struct PgnGame {
  std::vector<std::pair<std::string, std::string>> tags;
  std::vector<std::string> moves;  // the main line's move texts, as written
  std::string result;              // "1-0", "0-1", "1/2-1/2", "*" or "" when missing

  // The value of a tag, "" when the game has none.
  std::string tag(const std::string& name) const;
  // Played from the standard start in standard chess: no FEN/SetUp tag and
  // no Variant other than standard ("Standard", "normal", "chess").
  bool fromStandardStart() const;
};

// Every game of the text. A UTF-8 byte-order mark, CR-LF line ends and
// blank lines anywhere are accepted.
std::vector<PgnGame> readPgnText(const std::string& text);
// The games of a file; false when it cannot be read.
bool readPgnFile(const std::string& path, std::vector<PgnGame>* games);
