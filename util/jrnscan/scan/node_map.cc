#include "scan/node_map.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "scan/escape.h"
#include "scan/keyed_hash.h"

namespace jrn {

namespace {

// What one learnt entry costs besides its name: the entry and two slots.
constexpr uint64_t entry_cost = 24 + 2 * sizeof(uint32_t);

}  // namespace

// The key is random per run: node numbers are 32 bits and can be
// enumerated, so a fixed mixing function could be made to put every number
// of a log into one chain of slots.
node_map::node_map() : seed_(random_hash_key()) {}

uint32_t node_map::slot_of(int32_t id) const {
  const uint64_t h = hash_mix(static_cast<uint32_t>(id) ^ seed_);
  return static_cast<uint32_t>(h & (slots_.size() - 1));
}

uint32_t node_map::find(int32_t id) const {
  if (slots_.empty()) return npos;
  const size_t mask = slots_.size() - 1;
  for (size_t s = slot_of(id);; s = (s + 1) & mask) {
    ++probes_;
    const uint32_t v = slots_[s];
    if (v == 0) return npos;
    if (entries_[v - 1].id == id) return v - 1;
  }
}

void node_map::grow() {
  const size_t n = slots_.empty() ? 64 : slots_.size() * 2;
  slots_.assign(n, 0);
  const size_t mask = n - 1;
  for (uint32_t i = 0; i < entries_.size(); ++i) {
    size_t s = slot_of(entries_[i].id);
    while (slots_[s] != 0) s = (s + 1) & mask;
    slots_[s] = i + 1;
  }
}

void node_map::put(int32_t id, int32_t kind, const char* name, size_t len, int32_t parent,
                   bool replace) {
  const uint32_t at = find(id);
  if (at != npos && !replace) return;
  entry e{id, parent, text_.size(), static_cast<uint32_t>(len), kind, 0};
  text_.append(name, len);
  if (at != npos) {
    entries_[at] = e;  // the old name stays in the text area unused
    return;
  }
  // Kept at most half full, so that probe runs stay short.
  if ((entries_.size() + 1) * 2 > slots_.size()) grow();
  entries_.push_back(e);
  const size_t mask = slots_.size() - 1;
  size_t s = slot_of(id);
  while (slots_[s] != 0) s = (s + 1) & mask;
  slots_[s] = static_cast<uint32_t>(entries_.size());
}

int node_map::load(const char* file_name, bool escape) {
  FILE* f = std::fopen(file_name, "r");
  if (!f) {
    std::perror(file_name);
    return -1;
  }
  struct stat st;
  if (fstat(fileno(f), &st) == 0 && S_ISDIR(st.st_mode)) {
    std::fclose(f);
    errno = EISDIR;
    std::perror(file_name);
    return -1;
  }
  // Lines are read in pieces of at most 1023 characters; a longer line
  // counts as several.
  char line[1024];
  char name[257];
  int result = 0;
  for (int i = 0; i < 2; ++i)
    if (!std::fgets(line, sizeof line, f)) break;
  while (std::fgets(line, sizeof line, f)) {
    int32_t id, kind, parent;
    if (std::sscanf(line, "%d %d %256s %d", &id, &kind, name, &parent) < 4) {
      // The line is echoed; its own line end stays a line end.
      size_t n = std::strlen(line);
      const bool newline = n > 0 && line[n - 1] == '\n';
      std::string buf;
      size_t shown_len;
      const char* shown = safe_text(line, newline ? n - 1 : n, escape, buf, &shown_len);
      std::fprintf(stderr, "bad format: %.*s%s\n", static_cast<int>(shown_len), shown,
                   newline ? "\n" : "");
      std::fclose(f);
      return -1;
    }
    put(id, kind, name, std::strlen(name), parent, true);
  }
  // A read that fails is not the end of the file.
  if (std::ferror(f)) {
    std::perror(file_name);
    result = -1;
  }
  std::fclose(f);
  return result;
}

bool node_map::learn(int32_t id, int32_t kind, const char* name, size_t len, int32_t parent) {
  if (find(id) != npos || learn_stopped_) return true;
  const uint64_t cost = entry_cost + len;
  if (learnt_bytes_ + cost > learn_limit_) {
    learn_stopped_ = true;
    return false;
  }
  learnt_bytes_ += cost;
  const size_t at = text_.size();
  put(id, kind, name, len, parent, false);
  for (size_t i = at; i < text_.size(); ++i)
    if (text_[i] >= 'a' && text_[i] <= 'z') text_[i] = static_cast<char>(text_[i] - 'a' + 'A');
  return true;
}

void node_map::append_display(int32_t id, bool with_number, bool escape, std::string& out) const {
  const uint32_t first = find(id);
  if (first == npos) {
    char plain[16];
    std::snprintf(plain, sizeof plain, "#%d", id);
    out += plain;
    return;
  }
  // Walk up to the outermost known ancestor, innermost first, until the
  // names gathered fill the length limit. A parent chain that loops is cut
  // where it would repeat a node; one deeper than max_depth, or longer than
  // the limit, is cut with a leading "..." so that no cut name is taken for
  // the whole name.
  if (++visit_round_ == 0) {  // stamps of an earlier round would look current
    for (const entry& e : entries_) e.visit = 0;
    visit_round_ = 1;
  }
  chain_.clear();
  size_t length = 0;
  bool cut = false;
  for (uint32_t i = first; i != npos;) {
    const entry& e = entries_[i];
    if (e.visit == visit_round_) break;
    if (chain_.size() == max_depth || length > name_limit) {
      cut = true;
      break;
    }
    e.visit = visit_round_;
    chain_.push_back(i);
    length += e.name_len + (chain_.size() > 1 ? 1 : 0);
    i = e.parent != 0 ? find(e.parent) : npos;
  }
  std::string name;
  name.reserve(length < name_limit ? length : name_limit + 1);
  for (size_t k = chain_.size(); k-- > 0;) {
    const entry& e = entries_[chain_[k]];
    name.append(text_, e.name_at, e.name_len);
    if (k > 0) name += '.';
  }
  if (cut || name.size() > name_limit) {
    const size_t keep = name_limit - 3;
    if (name.size() > keep) name.erase(0, name.size() - keep);
    name.insert(0, "...");
  }
  if (escape)
    append_escaped(name.data(), name.size(), out);
  else
    out += name;
  if (with_number) {
    char num[24];
    std::snprintf(num, sizeof num, " (#%d)", id);
    out += num;
  }
}

void node_map::clear() {
  entries_.clear();
  slots_.clear();
  text_.clear();
  learnt_bytes_ = 0;
  learn_stopped_ = false;
}

}  // namespace jrn
