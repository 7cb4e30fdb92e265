// Keyword and number reading at a cursor into a command line.
#include <cctype>
#include <climits>

#include "engine/uci.h"

bool MatchKeyword(const char* keyword, char*& cursor) {
  if (cursor == nullptr) return false;
  char* c = cursor;
  for (; *keyword != '\0'; keyword++, c++)
    if (tolower(static_cast<unsigned char>(*keyword)) != tolower(static_cast<unsigned char>(*c))) return false;
  if (*c != '\0' && !isspace(static_cast<unsigned char>(*c))) return false;
  while (*c == ' ') c++;
  cursor = c;
  return true;
}

long ReadNumber(char*& cursor) {
  if (cursor == nullptr) return 0;
  char* c = cursor;
  while (*c == ' ' || *c == '\t') c++;
  bool negative = false;
  if (*c == '+' || *c == '-') negative = *c++ == '-';
  long value = 0;
  for (; *c >= '0' && *c <= '9'; c++) {
    int digit = *c - '0';
    if (value > (LONG_MAX - digit) / 10)
      value = LONG_MAX;
    else
      value = value * 10 + digit;
  }
  while (*c != '\0' && *c != ' ') c++;
  while (*c == ' ') c++;
  cursor = c;
  return negative ? -value : value;
}
