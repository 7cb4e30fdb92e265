// The table of endgame classes: names, storage flags, index functions and
// index ranges of the 440 classes of up to six men.
#include "tablebase/tbclasses.h"

#include <array>
#include <cstring>
#include <utility>

#include "tablebase/tbindex.h"

TbClass tbClasses[TbClassCount + 1];

namespace {

// The classes in their fixed order, numbered from 1: three men, four men,
// five men, six men.
const char* const classNames =
    "kpk knk kbk krk kqk kpkp knkp knkn kbkp kbkn kbkb krkp krkn krkb krkr kqkp kqkn kqkb kqkr "
    "kqkq kppk knpk knnk kbpk kbnk kbbk krpk krnk krbk krrk kqpk kqnk kqbk kqrk kqqk kppkp kppkn "
    "kppkb kppkr kppkq knpkp knpkn knpkb knpkr knpkq knnkp knnkn knnkb knnkr knnkq kbpkp kbpkn "
    "kbpkb kbpkr kbpkq kbnkp kbnkn kbnkb kbnkr kbnkq kbbkp kbbkn kbbkb kbbkr kbbkq krpkp krpkn "
    "krpkb krpkr krpkq krnkp krnkn krnkb krnkr krnkq krbkp krbkn krbkb krbkr krbkq krrkp krrkn "
    "krrkb krrkr krrkq kqpkp kqpkn kqpkb kqpkr kqpkq kqnkp kqnkn kqnkb kqnkr kqnkq kqbkp kqbkn "
    "kqbkb kqbkr kqbkq kqrkp kqrkn kqrkb kqrkr kqrkq kqqkp kqqkn kqqkb kqqkr kqqkq kpppk knppk "
    "knnpk knnnk kbppk kbnpk kbnnk kbbpk kbbnk kbbbk krppk krnpk krnnk krbpk krbnk krbbk krrpk "
    "krrnk krrbk krrrk kqppk kqnpk kqnnk kqbpk kqbnk kqbbk kqrpk kqrnk kqrbk kqrrk kqqpk kqqnk "
    "kqqbk kqqrk kqqqk knnknn kbnknn kbbknn kbbkbn kbbkbb krnknn krnkbb krbknn krbkbb krrknn "
    "krrkbn krrkbb krrkrn krrkrb krrkrr kqnknn kqnkbb kqnkrr kqbknn kqbkbb kqbkrr kqrknn kqrkbb "
    "kqrkrr kqqknn kqqkbn kqqkbb kqqkrn kqqkrb kqqkrr kqqkqn kqqkqb kqqkqr kqqkqq kbnkbn krnkrn "
    "krbkrb kqnkqn kqbkqb kqrkqr krnkbn krbkbn krbkrn kqnkbn kqnkrn kqnkrb kqbkbn kqbkrn kqbkrb "
    "kqbkqn kqrkbn kqrkrn kqrkrb kqrkqn kqrkqb kppkpp knpkpp knpknp knnkpp knnknp kbpkpp kbpknp "
    "kbpknn kbpkbp kbnkpp kbnknp kbnkbp kbbkpp kbbknp kbbkbp krpkpp krpknp krpknn krpkbp krpkbn "
    "krpkbb krpkrp krnkpp krnknp krnkbp krnkrp krbkpp krbknp krbkbp krbkrp krrkpp krrknp krrkbp "
    "krrkrp kqpkpp kqpknp kqpknn kqpkbp kqpkbn kqpkbb kqpkrp kqpkrn kqpkrb kqpkrr kqpkqp kqnkpp "
    "kqnknp kqnkbp kqnkrp kqnkqp kqbkpp kqbknp kqbkbp kqbkrp kqbkqp kqrkpp kqrknp kqrkbp kqrkrp "
    "kqrkqp kqqkpp kqqknp kqqkbp kqqkrp kqqkqp knnnkn kbnnkn kbbnkn kbbbkn krnnkn krbbkn krrnkn "
    "krrbkn krrrkn kqnnkn kqbbkn kqrrkn kqqnkn kqqbkn kqqrkn kqqqkn knnnkb kbnnkb kbbnkb kbbbkb "
    "krnnkb krbbkb krrnkb krrbkb krrrkb kqnnkb kqbbkb kqrrkb kqqnkb kqqbkb kqqrkb kqqqkb knnnkr "
    "kbnnkr kbbnkr kbbbkr krnnkr krbbkr krrnkr krrbkr krrrkr kqnnkr kqbbkr kqrrkr kqqnkr kqqbkr "
    "kqqrkr kqqqkr knnnkq kbnnkq kbbnkq kbbbkq krnnkq krbbkq krrnkq krrbkq krrrkq kqnnkq kqbbkq "
    "kqrrkq kqqnkq kqqbkq kqqrkq kqqqkq krbnkn kqbnkn kqrnkn kqrbkn krbnkb kqbnkb kqrnkb kqrbkb "
    "krbnkr kqbnkr kqrnkr kqrbkr krbnkq kqbnkq kqrnkq kqrbkq kpppkp knppkp knnpkp knnnkp kbppkp "
    "kbnpkp kbnnkp kbbpkp kbbnkp kbbbkp krppkp krnpkp krnnkp krbpkp krbnkp krbbkp krrpkp krrnkp "
    "krrbkp krrrkp kqppkp kqnpkp kqnnkp kqbpkp kqbnkp kqbbkp kqrpkp kqrnkp kqrbkp kqrrkp kqqpkp "
    "kqqnkp kqqbkp kqqrkp kqqqkp kpppkn knppkn knnpkn kbppkn kbnpkn kbbpkn krppkn krnpkn krbpkn "
    "krrpkn kqppkn kqnpkn kqbpkn kqrpkn kqqpkn kpppkb knppkb knnpkb kbppkb kbnpkb kbbpkb krppkb "
    "krnpkb krbpkb krrpkb kqppkb kqnpkb kqbpkb kqrpkb kqqpkb kpppkr knppkr knnpkr kbppkr kbnpkr "
    "kbbpkr krppkr krnpkr krbpkr krrpkr kqppkr kqnpkr kqbpkr kqrpkr kqqpkr kpppkq knppkq knnpkq "
    "kbppkq kbnpkq kbbpkq krppkq krnpkq krbpkq krrpkq kqppkq kqnpkq kqbpkq kqrpkq kqqpkq ";

// Classes whose one file serves both sides to move.
const char* const oneFileClasses =
    "knkn kbkb krkr kqkq knnknn kbbkbb krrkrr kqqkqq kbnkbn krnkrn krbkrb kqnkqn kqbkqb kqrkqr "
    "kppkpp knpknp kbpkbp krpkrp kqpkqp ";

// Classes with two bytes per position.
const char* const twoByteClasses =
    "krnknn krnkbb krbknn kqnkrr krnkbn kppkpp knpkpp knnkpp knnknp kbpkpp kbpknp kbpknn kbnkpp "
    "kbnknp kbbknp krpkpp krpknp krpknn krpkbp krpkbn krpkbb krnkpp krnknp krnkbp krbkpp krbknp "
    "krrkpp krrknp kqpkpp kqpkrb kqpkrr kqpkqp kqnkpp kqnkqp kqbkqp kqrkqp kpppkp knppkp kbppkp "
    "kbnpkp kbbpkp krppkp krnpkp krbpkp krrpkp kqppkp kqnpkp kqbpkp kbppkr kbnpkr kbbpkr kpppkq "
    "knppkq kbppkq kbnpkq kbbpkq krppkq krnpkq krbpkq krrpkq kqppkq kqnpkq kqbpkq kqrpkq ";

// Classes split into files of 2^31 positions (2^30 with two bytes).
const char* const splitClasses =
    "krnkbn krbkbn kqnkrn kqnkrb kqbkrn kqbkrb knpkpp knpknp knnknp kbpkpp kbpknp kbpknn kbpkbp "
    "kbnkpp kbnknp kbnkbp kbbknp kbbkbp krpkpp krpknp krpknn krpkbp krpkbn krpkbb krpkrp krnkpp "
    "krnknp krnkbp krnkrp krbkpp krbknp krbkbp krbkrp krrknp krrkbp krrkrp kqpkpp kqpknp kqpknn "
    "kqpkbp kqpkbn kqpkbb kqpkrp kqpkrn kqpkrb kqpkrr kqpkqp kqnkpp kqnknp kqnkbp kqnkrp kqnkqp "
    "kqbkpp kqbknp kqbkbp kqbkrp kqbkqp kqrkpp kqrknp kqrkbp kqrkrp kqrkqp kqqknp kqqkbp kqqkrp "
    "kqqkqp kqbnkq knppkp knnpkp kbppkp kbnpkp kbnnkp kbbpkp kbbnkp krppkp krnpkp krnnkp krbpkp "
    "krbnkp krbbkp krrpkp krrnkp krrbkp kqppkp kqnpkp kqnnkp kqbpkp kqbnkp kqbbkp kqrpkp kqrnkp "
    "kqrbkp kqrrkp kqqpkp kqqnkp kqqbkp kqqrkp knppkn knnpkn kbppkn kbnpkn kbbpkn krppkn krnpkn "
    "krbpkn krrpkn kqppkn kqnpkn kqbpkn kqrpkn kqqpkn knppkb knnpkb kbppkb kbnpkb kbbpkb krppkb "
    "krnpkb krbpkb krrpkb kqppkb kqnpkb kqbpkb kqrpkb kqqpkb knppkr knnpkr kbppkr kbnpkr kbbpkr "
    "krppkr krnpkr krbpkr krrpkr kqppkr kqnpkr kqbpkr kqrpkr kqqpkr knppkq knnpkq kbppkq kbnpkq "
    "kbbpkq krppkq krnpkq krbpkq krrpkq kqppkq kqnpkq kqbpkq kqrpkq kqqpkq ";

// Layouts of the index functions, [class][side to move].
TbLayout layouts[TbClassCount + 1][2];

template <int Class, int Side>
uint64_t classIndex(const uint8_t* white, const uint8_t* black, int ep, int invert) {
  return tbIndex(layouts[Class][Side], white, black, ep, invert);
}

template <size_t... I>
constexpr std::array<TbIndexFn, sizeof...(I)> makeIndexFns(std::index_sequence<I...>) {
  return {&classIndex<int(I / 2), int(I % 2)>...};
}

// indexFns[2 * class + side]
constexpr auto indexFns = makeIndexFns(std::make_index_sequence<2 * (TbClassCount + 1)>());

// Copies the next blank-separated word of *text into word (at most 7
// characters); false at the end.
bool nextName(const char** text, char word[8]) {
  const char* p = *text;
  while (*p == ' ') ++p;
  int n = 0;
  while (p[n] && p[n] != ' ') ++n;
  if (n == 0 || n > 7) return false;
  std::memcpy(word, p, n);
  word[n] = 0;
  *text = p + n;
  return true;
}

void setFlag(const char* list, uint32_t flag) {
  char word[8];
  while (nextName(&list, word)) tbClasses[tbClassByName(word)].flags |= flag;
}

// Men of each side from a class name: counts of pawns, knights, bishops,
// rooks and queens after the first and after the second "k".
void countMen(const char* name, int men[2][5]) {
  static const char kinds[] = "pnbrq";
  std::memset(men, 0, sizeof(int) * 10);
  int side = -1;
  for (const char* p = name; *p; ++p) {
    if (*p == 'k') {
      ++side;
      continue;
    }
    const char* kind = std::strchr(kinds, *p);
    if (kind && side >= 0 && side < 2) men[side][kind - kinds] += 1;
  }
}

}  // namespace

const TbLayout& tbClassLayout(int cls, int side) {
  return layouts[cls >= 1 && cls <= TbClassCount ? cls : 0][side & 1];
}

bool tbClassPosition(int cls, int side, uint64_t index, uint8_t* white, uint8_t* black, int* ep) {
  if (cls < 1 || cls > TbClassCount) return false;
  return tbPosition(layouts[cls][side & 1], index, white, black, ep);
}

int tbClassByName(const char* name) {
  initTbClasses();
  if (!name) return 0;
  for (int c = 1; c <= TbClassCount; ++c)
    if (tbClasses[c].index == uint32_t(c) && std::strcmp(tbClasses[c].name, name) == 0) return c;
  return 0;
}

// The names are in place before the flag lists are read through
// tbClassByName, which itself makes sure the table is initialised.
void initTbClasses() {
  static bool done = false;
  if (done) return;
  done = true;
  buildEnumerations();
  const char* text = classNames;
  for (int c = 1; c <= TbClassCount; ++c) {
    TbClass& cls = tbClasses[c];
    nextName(&text, cls.name);
    cls.index = c;
    cls.flags = 0;
    int men[2][5];
    countMen(cls.name, men);
    for (int side = 0; side < 2; ++side) {
      buildLayout(&layouts[c][side], men[0], men[1], side);
      cls.indexFn[side] = indexFns[2 * c + side];
      cls.positions[side] = layouts[c][side].plainTotal + layouts[c][side].epTotal;
    }
  }
  setFlag(oneFileClasses, TbOneFile);
  setFlag(twoByteClasses, TbTwoBytes);
  setFlag(splitClasses, TbSplit);
}
