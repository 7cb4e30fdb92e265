// Opening the book file and reading its header word.
#include "book/bookfile.h"

#include "board/position.h"

char bookFileName[160];
uint32_t bookStatus = 0;
uint32_t recordCount = 0;
FILE* bookFile = nullptr;

void bookClose() {
  if (bookFile != nullptr) fclose(bookFile);
  bookFile = nullptr;
}

bool bookOpen() {
  bookClose();
  recordCount = 0;
  bookStatus &= ~(BookReadOnly | BookNotFound);
  bookFile = fopen(bookFileName, "r+b");
  if (bookFile == nullptr) {
    bookFile = fopen(bookFileName, "rb");
    if (bookFile != nullptr) bookStatus |= BookReadOnly;
  }
  unsigned char word[4];
  if (bookFile == nullptr || fread(word, 1, 4, bookFile) != 4) {
    // Missing, unreadable or shorter than its header: no book at all.
    bookClose();
    bookStatus = BookNotFound;
    optionFlags &= ~OwnBookFlag;
    return false;
  }
  recordCount = word[0] | (word[1] << 8) | (word[2] << 16) | (static_cast<uint32_t>(word[3]) << 24);
  optionFlags |= OwnBookFlag;
  return true;
}
