// Node name map: node numbers to qualified names for display, filled from
// -M listing files and from the log's own CONTEXT records.
#pragma once

#include <cstdint>
#include <string>

namespace jrn {

struct node_map_entry {
  int32_t id = 0;
  int32_t kind = 0;  // 2 database, 3 data set, 4 index (from context records)
  std::string name;
  int32_t parent = 0;  // enclosing node; 0 = none
  uint64_t visit = 0;  // cuts parent loops while a qualified name is built
};

// Loads one listing file: two heading lines, then "id kind name parent"
// per line; a later line for a number hides an earlier one. 0 or -1.
int node_map_load(const char* file_name);
// Registers a name learnt from a context record unless the number is
// already mapped; the name is stored in upper case.
void node_map_add(int32_t id, int32_t kind, const char* name, int32_t parent);
const node_map_entry* node_map_find(int32_t id);
// "DB.SET.INDEX", with " (#id)" when with_number is set. The text stays
// valid until the next call.
const char* node_qualified_name(const node_map_entry* entry, int with_number);
// The qualified name with its number, or "#id" for an unmapped number.
const char* node_display(int32_t id);
void node_map_clear();

}  // namespace jrn
