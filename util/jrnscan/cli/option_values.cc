#include "cli/option_values.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "scan/escape.h"

namespace jrn {

namespace {

bool escape_warnings = false;

void warn(const char* option, const char* text, const char* problem, const std::string& read_as) {
  std::string shown;
  size_t len;
  const char* t = safe_text(text, std::strlen(text), escape_warnings, shown, &len);
  std::fprintf(stderr, "jrnscan: warning: %s '%.*s' %s; read as %s\n", option,
               static_cast<int>(len), t, problem, read_as.c_str());
}

// Why a decimal text does not convert completely into [low, high], or
// null when it does.
const char* decimal_problem(const char* text, long long low, long long high) {
  errno = 0;
  char* end = nullptr;
  const long long value = std::strtoll(text, &end, 10);
  const bool range_error = errno == ERANGE;
  if (*text == '\0') return "is empty";
  if (end == text || *end != '\0') return "is not a decimal number";
  if (low == 0 && value < 0) return "is negative";
  if (range_error || value < low || value > high) return "is out of range";
  return nullptr;
}

std::string with_meaning(const std::string& value, bool zero, const char* zero_means) {
  return zero ? value + " (" + zero_means + ")" : value;
}

// Whether text is "digits" or "digits:digits" with every number inside
// 32 bits; otherwise why not.
const char* range_problem(const char* text) {
  if (*text == '\0') return "is empty";
  const char* p = text;
  for (int side = 0; side < 2; ++side) {
    if (*p == '-') return "holds a negative number";
    if (*p < '0' || *p > '9') return "is not a range f:t of decimal numbers";
    unsigned long long v = 0;
    while (*p >= '0' && *p <= '9') {
      if (v <= UINT32_MAX) v = v * 10 + static_cast<unsigned>(*p - '0');
      ++p;
    }
    if (v > UINT32_MAX) return "holds a number out of range";
    if (*p == '\0') return nullptr;
    if (side == 0 && *p == ':') {
      ++p;
      continue;
    }
    return "is not a range f:t of decimal numbers";
  }
  return "is not a range f:t of decimal numbers";
}

std::string range_meaning(uint32_t from, uint32_t to) {
  std::string s = std::to_string(from) + ":" + std::to_string(to);
  if (from == 0 && to == 0) return s + " (no filter)";
  if (to == 0) return s + " (from " + std::to_string(from) + ", no upper bound)";
  if (from == 0) return s + " (no lower bound, up to " + std::to_string(to) + ")";
  return s;
}

}  // namespace

void escape_option_values(bool on) { escape_warnings = on; }

int32_t read_signed(const char* option, const char* text, const char* zero_means) {
  const int32_t result = static_cast<int32_t>(std::strtoll(text, nullptr, 10));
  if (const char* problem = decimal_problem(text, INT32_MIN, UINT32_MAX))
    warn(option, text, problem, with_meaning(std::to_string(result), result == 0, zero_means));
  return result;
}

uint32_t read_unsigned(const char* option, const char* text, const char* zero_means) {
  const uint32_t result = static_cast<uint32_t>(std::strtoll(text, nullptr, 10));
  if (const char* problem = decimal_problem(text, 0, UINT32_MAX))
    warn(option, text, problem, with_meaning(std::to_string(result), result == 0, zero_means));
  return result;
}

void read_range(const char* option, const char* text, uint32_t* from, uint32_t* to) {
  unsigned a = *from, b = *to;
  std::sscanf(text, "%u:%u", &a, &b);
  *from = a;
  *to = b;
  if (const char* problem = range_problem(text)) warn(option, text, problem, range_meaning(a, b));
}

void check_range_order(const char* option, const char* text, uint32_t from, uint32_t to) {
  if (from == 0 || to == 0 || from <= to) return;
  std::string shown;
  size_t len;
  const char* t = safe_text(text, std::strlen(text), escape_warnings, shown, &len);
  std::fprintf(
      stderr,
      "jrnscan: warning: %s '%.*s' has its lower bound %u above its upper bound %u; no tag "
      "can match\n",
      option, static_cast<int>(len), t, from, to);
}

std::vector<std::string> closest_names(const std::string& text,
                                       const std::vector<std::string>& opcode_names) {
  auto upper = [](unsigned char c) { return (c >= 'a' && c <= 'z') ? c - ('a' - 'A') : c; };
  // A slip of the keyboard: a third of the text, or two edits for a short one.
  const size_t limit = std::max<size_t>(2, text.size() / 3);
  size_t best = limit + 1;
  std::vector<std::string> found;
  std::vector<size_t> row;
  for (const std::string& name : opcode_names) {
    const size_t n = name.size();
    // The distance is at least the difference of the lengths.
    if ((text.size() > n ? text.size() - n : n - text.size()) > std::min(best, limit)) continue;
    row.resize(n + 1);
    for (size_t j = 0; j <= n; ++j) row[j] = j;
    for (size_t i = 1; i <= text.size(); ++i) {
      size_t diagonal = row[0];
      row[0] = i;
      for (size_t j = 1; j <= n; ++j) {
        const size_t above = row[j];
        const size_t change = diagonal + (upper(static_cast<unsigned char>(text[i - 1])) !=
                                          upper(static_cast<unsigned char>(name[j - 1])));
        row[j] = std::min({above + 1, row[j - 1] + 1, change});
        diagonal = above;
      }
    }
    const size_t d = row[n];
    if (d > limit || d > best) continue;
    if (d < best) found.clear();
    best = d;
    if (found.size() < 3) found.push_back(name);
  }
  return found;
}

void warn_unmatched_pattern(const char* option, const char* pattern, int32_t pattern_len,
                            const std::vector<std::string>& opcode_names) {
  const std::string text(pattern, static_cast<size_t>(std::max(0, pattern_len)));
  std::string shown, closest;
  size_t len;
  const char* t = safe_text(text.data(), text.size(), escape_warnings, shown, &len);
  for (const std::string& name : closest_names(text, opcode_names))
    closest += (closest.empty() ? " (closest: " : ", ") + name;
  if (!closest.empty()) closest += ")";
  std::fprintf(stderr,
               "jrnscan: warning: %s '%.*s' matches no opcode name%s; --list-opcodes lists "
               "them\n",
               option, static_cast<int>(len), t, closest.c_str());
}

bool parse_size(const char* text, uint64_t* bytes) {
  if (*text < '0' || *text > '9') return false;
  errno = 0;
  char* end = nullptr;
  unsigned long long v = std::strtoull(text, &end, 10);
  if (errno != 0) return false;
  unsigned shift = 0;
  switch (*end) {
    case '\0': break;
    case 'k':
    case 'K':
      shift = 10;
      ++end;
      break;
    case 'm':
    case 'M':
      shift = 20;
      ++end;
      break;
    case 'g':
    case 'G':
      shift = 30;
      ++end;
      break;
    default: return false;
  }
  if (*end == 'i' && shift) ++end;
  if ((*end == 'B' || *end == 'b') && shift) ++end;
  if (*end != '\0' || v > (UINT64_MAX >> shift)) return false;
  *bytes = static_cast<uint64_t>(v) << shift;
  return true;
}

}  // namespace jrn
