// The classes generated in this run, kept in memory for the captures and
// promotions of the larger classes, and the order in which a class's
// smaller classes are made first.
#include <algorithm>
#include <cstring>
#include <map>
#include <memory>
#include <string>

#include "board/types.h"
#include "tablebase/tbgen.h"

namespace {

std::map<std::string, std::unique_ptr<GenTable>> storedTables;
GenExternalLookup externalLookup = nullptr;

constexpr char menLetter[7] = {0, 'p', 'n', 'b', 'r', 'q', 0};

void addMaterial(const GenMen& men, std::vector<std::string>* out) {
  if (men.count == 0) return;  // bare kings
  char name[8];
  bool swapped;
  GenSquares sq;
  genPlace(men, name, &swapped, &sq);
  if (std::find(out->begin(), out->end(), name) == out->end()) out->push_back(name);
}

GenMen menOfMaterial(const GenMaterial& mat) {
  GenMen men{};
  men.count = mat.men;
  for (int i = 0; i < mat.men; ++i) {
    men.type[i] = mat.type[i];
    men.colour[i] = mat.colour[i];
    men.square[i] = static_cast<uint8_t>(8 + i);
  }
  return men;
}

GenMen without(const GenMen& men, int i) {
  GenMen out = men;
  for (int j = i; j + 1 < men.count; ++j) {
    out.type[j] = men.type[j + 1];
    out.colour[j] = men.colour[j + 1];
    out.square[j] = men.square[j + 1];
  }
  --out.count;
  return out;
}

}  // namespace

std::vector<std::string> genDependencies(const char* name) {
  std::vector<std::string> deps;
  GenMaterial mat;
  if (!genParseMaterial(name, &mat)) return deps;
  const GenMen men = menOfMaterial(mat);
  for (int i = 0; i < men.count; ++i) {
    // A capture of man i, and a pawn's promotion with or without a capture.
    addMaterial(without(men, i), &deps);
    if (men.type[i] != Pawn) continue;
    for (int promoted = Knight; promoted <= Queen; ++promoted) {
      GenMen up = men;
      up.type[i] = static_cast<uint8_t>(promoted);
      addMaterial(up, &deps);
      for (int j = 0; j < men.count; ++j)
        if (men.colour[j] != men.colour[i]) addMaterial(without(up, j), &deps);
    }
  }
  return deps;
}

bool genStorageNameOf(const char* name, char* storage) {
  GenMaterial mat;
  if (!genParseMaterial(name, &mat) || mat.men == 0) return false;
  bool swapped;
  GenSquares sq;
  return genPlace(menOfMaterial(mat), storage, &swapped, &sq);
}

void genSetExternalLookup(GenExternalLookup lookup) { externalLookup = lookup; }

const GenTable* genStoredTable(const char* name) {
  const auto it = storedTables.find(name);
  return it == storedTables.end() ? nullptr : it->second.get();
}

void genForget(const char* name) { storedTables.erase(name); }

bool genLookupStored(const GenMen& men, int side, uint8_t* dist) {
  char name[8];
  bool swapped;
  GenSquares sq;
  if (!genPlace(men, name, &swapped, &sq)) return false;
  const GenTable* table = genStoredTable(name);
  if (!table) return externalLookup && externalLookup(name, sq, side ^ (swapped ? 1 : 0), dist);
  *dist = genTableDistance(*table, sq, side ^ (swapped ? 1 : 0), 0);
  return true;
}

const GenTable* genWithDependencies(const char* name, const GenHooks& hooks) {
  GenMaterial mat;
  if (!genParseMaterial(name, &mat)) return nullptr;
  if (const GenTable* known = genStoredTable(mat.name)) return known;
  for (const std::string& dep : genDependencies(mat.name)) {
    if (genStoredTable(dep.c_str())) continue;
    if (hooks.onDisk && hooks.onDisk(dep.c_str())) continue;
    if (!genWithDependencies(dep.c_str(), hooks)) return nullptr;
  }
  auto table = std::make_unique<GenTable>();
  GenStats stats;
  if (!genGenerate(mat.name, genLookupStored, table.get(), &stats)) return nullptr;
  GenTable* made = table.get();
  storedTables[mat.name] = std::move(table);
  if (hooks.finished && !hooks.finished(*made, stats)) return nullptr;
  return made;
}
