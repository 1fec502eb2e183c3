#include "scan/node_map.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "scan/keyed_hash.h"

namespace jrn {

namespace {

// The memory that an allocation of n bytes takes: the allocator's header
// and rounding, and whole pages for the large blocks it maps on their own.
uint64_t allocated(uint64_t n) {
  if (n == 0) return 0;
  if (n >= (128u << 10)) return (n + 16 + 4095) / 4096 * 4096;
  return (n + 16 + 15) / 16 * 16;
}

// The capacity a vector of block pointers is given when it is full.
size_t next_capacity(size_t cap) { return cap == 0 ? 16 : cap * 2; }

// What growing a full vector of block pointers adds (the old array is freed
// once copied).
template <typename T>
uint64_t pointer_growth(const std::vector<T>& v) {
  if (v.size() < v.capacity()) return 0;
  const size_t cap = v.capacity();
  return allocated(next_capacity(cap) * sizeof(T)) - allocated(cap * sizeof(T));
}

template <typename T>
void make_room(std::vector<T>& v) {
  if (v.size() == v.capacity()) v.reserve(next_capacity(v.capacity()));
}

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
    if (at(v - 1).id == id) return v - 1;
  }
}

uint64_t node_map::growth_for(size_t len, bool new_entry) const {
  uint64_t bytes = 0;
  if (len > text_left_)
    bytes += allocated(len > text_block ? len : text_block) + pointer_growth(text_blocks_);
  if (!new_entry) return bytes;
  if (count_ % block_entries == 0)
    bytes += allocated(block_entries * sizeof(entry)) + pointer_growth(blocks_);
  // Kept at most half full, so that probe runs stay short.
  if ((static_cast<uint64_t>(count_) + 1) * 2 > slots_.size()) {
    const size_t n = slots_.empty() ? 64 : slots_.size() * 2;
    bytes += allocated(n * sizeof(uint32_t)) - allocated(slots_.size() * sizeof(uint32_t));
  }
  return bytes;
}

// The old table is freed before the new one is made, so that the two are
// never held at once; the entries know their numbers.
void node_map::grow_slots() {
  const size_t n = slots_.empty() ? 64 : slots_.size() * 2;
  std::vector<uint32_t>().swap(slots_);
  slots_.assign(n, 0);
  const size_t mask = n - 1;
  for (uint32_t i = 0; i < count_; ++i) {
    size_t s = slot_of(at(i).id);
    while (slots_[s] != 0) s = (s + 1) & mask;
    slots_[s] = i + 1;
  }
}

char* node_map::store_text(const char* name, size_t len) {
  static char empty[1] = {0};
  if (len == 0) return empty;
  if (len > text_left_) {
    const size_t size = len > text_block ? len : text_block;
    make_room(text_blocks_);
    text_blocks_.emplace_back(new char[size]);
    text_free_ = text_blocks_.back().get();
    text_left_ = size;
  }
  char* const p = text_free_;
  std::memcpy(p, name, len);
  text_free_ += len;
  text_left_ -= len;
  return p;
}

void node_map::put(int32_t id, int32_t kind, const char* name, size_t len, int32_t parent,
                   bool replace, bool upper) {
  const uint32_t found = find(id);
  if (found != npos && !replace) return;
  memory_ += growth_for(len, found == npos);
  char* const text = store_text(name, len);
  if (upper)
    for (size_t i = 0; i < len; ++i)
      if (text[i] >= 'a' && text[i] <= 'z') text[i] = static_cast<char>(text[i] - 'a' + 'A');
  const entry e{id, parent, text, static_cast<uint32_t>(len), kind, 0};
  if (found != npos) {
    at(found) = e;  // the old name stays in its text block unused
    return;
  }
  if ((static_cast<uint64_t>(count_) + 1) * 2 > slots_.size()) grow_slots();
  if (count_ % block_entries == 0) {
    make_room(blocks_);
    blocks_.emplace_back(new entry[block_entries]);
  }
  at(count_) = e;
  ++count_;
  const size_t mask = slots_.size() - 1;
  size_t s = slot_of(id);
  while (slots_[s] != 0) s = (s + 1) & mask;
  slots_[s] = count_;
}

namespace {

// perror with the file's name escaped when escape is set.
void say_error(const char* file_name, bool escape) {
  const int err = errno;
  std::string shown;
  if (escape)
    append_escaped_file_name(file_name, std::strlen(file_name), shown);
  else
    shown = file_name;
  errno = err;
  std::perror(shown.c_str());
}

}  // namespace

int node_map::load(const char* file_name, bool escape) {
  FILE* f = std::fopen(file_name, "r");
  if (!f) {
    say_error(file_name, escape);
    return -1;
  }
  struct stat st;
  if (fstat(fileno(f), &st) == 0 && S_ISDIR(st.st_mode)) {
    std::fclose(f);
    errno = EISDIR;
    say_error(file_name, escape);
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
    put(id, kind, name, std::strlen(name), parent, true, false);
  }
  // A read that fails is not the end of the file.
  if (std::ferror(f)) {
    say_error(file_name, escape);
    result = -1;
  }
  std::fclose(f);
  return result;
}

bool node_map::learn(int32_t id, int32_t kind, const char* name, size_t len, int32_t parent) {
  if (find(id) != npos || learn_stopped_) return true;
  const uint64_t cost = growth_for(len, true);
  if (learnt_bytes_ + cost > learn_limit_) {
    learn_stopped_ = true;
    return false;
  }
  learnt_bytes_ += cost;
  put(id, kind, name, len, parent, false, true);
  return true;
}

void node_map::append_display(int32_t id, bool with_number, text_form form,
                              std::string& out) const {
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
    for (uint32_t i = 0; i < count_; ++i) at(i).visit = 0;
    visit_round_ = 1;
  }
  chain_.clear();
  size_t length = 0;
  bool cut = false;
  for (uint32_t i = first; i != npos;) {
    const entry& e = at(i);
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
  std::string& name = name_buf_;
  name.clear();
  for (size_t k = chain_.size(); k-- > 0;) {
    const entry& e = at(chain_[k]);
    name.append(e.name, e.name_len);
    if (k > 0) name += '.';
  }
  // The limit holds for the name as written: every byte is written as one
  // unit, and the end kept is whole units. A byte is never written shorter
  // than itself, so the names gathered above hold enough of the end.
  size_t written = 0;
  for (const char ch : name) written += form_size(static_cast<uint8_t>(ch), form);
  size_t from = 0;
  if (cut || written > name_limit) {
    size_t kept = 0;
    for (from = name.size(); from > 0; --from) {
      const size_t unit = form_size(static_cast<uint8_t>(name[from - 1]), form);
      if (kept + unit > name_limit - 3) break;
      kept += unit;
    }
    out += "...";
  }
  append_in_form(name.data() + from, name.size() - from, form, out);
  if (with_number) {
    char num[24];
    std::snprintf(num, sizeof num, " (#%d)", id);
    out += num;
  }
}

void node_map::clear() {
  blocks_.clear();
  blocks_.shrink_to_fit();
  count_ = 0;
  std::vector<uint32_t>().swap(slots_);
  text_blocks_.clear();
  text_blocks_.shrink_to_fit();
  text_free_ = nullptr;
  text_left_ = 0;
  memory_ = 0;
  learnt_bytes_ = 0;
  learn_stopped_ = false;
}

}  // namespace jrn
