#include "cli/node_map.h"

#include <cstdio>
#include <unordered_map>
#include <vector>

#include "output/diag.h"

namespace jrn {

namespace {

// Entries are only ever added; a lookup sees the newest entry of a number.
std::unordered_map<int32_t, node_map_entry>& entries() {
  static std::unordered_map<int32_t, node_map_entry> map;
  return map;
}

uint64_t visit_round = 0;
constexpr size_t max_depth = 256;
std::string name_area;
std::vector<const node_map_entry*> chain;

}  // namespace

const node_map_entry* node_map_find(int32_t id) {
  auto& map = entries();
  auto it = map.find(id);
  return it == map.end() ? nullptr : &it->second;
}

int node_map_load(const char* file_name) {
  FILE* f = std::fopen(file_name, "r");
  if (!f) {
    diag_perror(file_name);
    return -1;
  }
  // Lines are read in pieces of at most 1023 characters; a longer line
  // counts as several.
  char line[1024];
  char name[257];
  for (int i = 0; i < 2; ++i)
    if (!std::fgets(line, sizeof line, f)) break;
  while (std::fgets(line, sizeof line, f)) {
    node_map_entry e;
    if (std::sscanf(line, "%d %d %256s %d", &e.id, &e.kind, name, &e.parent) < 4) {
      diag("bad format: %s\n", line);
      std::fclose(f);
      return -1;
    }
    e.name = name;
    entries()[e.id] = std::move(e);
  }
  std::fclose(f);
  return 0;
}

void node_map_add(int32_t id, int32_t kind, const char* name, int32_t parent) {
  auto& map = entries();
  if (map.count(id)) return;  // earlier names are never replaced
  node_map_entry e;
  e.id = id;
  e.kind = kind;
  e.parent = parent;
  e.name = name;
  for (char& c : e.name)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  map.emplace(id, std::move(e));
}

const char* node_qualified_name(const node_map_entry* entry, int with_number) {
  // Walk up to the outermost known ancestor; a parent chain that loops is
  // cut where it would repeat a node. Real chains are a few levels deep
  // (database, set, index); a chain built by a hostile log is cut after
  // max_depth levels so that no display costs more than that.
  ++visit_round;
  chain.clear();
  for (const node_map_entry* e = entry; e && e->visit != visit_round && chain.size() < max_depth;) {
    const_cast<node_map_entry*>(e)->visit = visit_round;
    chain.push_back(e);
    e = e->parent != 0 ? node_map_find(e->parent) : nullptr;
  }
  name_area.clear();
  for (size_t i = chain.size(); i-- > 0;) {
    name_area += chain[i]->name;
    if (i > 0) name_area += '.';
  }
  if (with_number) {
    char num[24];
    std::snprintf(num, sizeof num, " (#%d)", entry->id);
    name_area += num;
  }
  return name_area.c_str();
}

const char* node_display(int32_t id) {
  if (const node_map_entry* e = node_map_find(id)) return node_qualified_name(e, 1);
  static char plain[16];
  std::snprintf(plain, sizeof plain, "#%d", id);
  return plain;
}

void node_map_clear() { entries().clear(); }

}  // namespace jrn
