// The --history values: NODE:RECNO.
#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "model/record_history.h"

namespace jrn {

namespace {

// Strict decimal: all of text, within [lo, hi].
bool read_number(const char* text, int64_t lo, int64_t hi, int64_t* v) {
  if (*text == '\0') return false;
  const char* p = text;
  if (*p == '-') ++p;
  if (*p < '0' || *p > '9') return false;
  errno = 0;
  char* end = nullptr;
  const long long n = std::strtoll(text, &end, 10);
  if (errno != 0 || *end != '\0' || n < lo || n > hi) return false;
  *v = n;
  return true;
}

}  // namespace

bool parse_record_request(const char* text, record_request* request, std::string* why) {
  *request = record_request();
  request->text = text;
  const char* colon = std::strrchr(text, ':');
  if (!colon || colon == text || colon[1] == '\0') {
    *why = "takes NODE:RECNO (a node number or qualified name, a record number)";
    return false;
  }
  int64_t n;
  if (!read_number(colon + 1, INT32_MIN, UINT32_MAX, &n)) {
    *why = "has a record number that is not a number from 0 to 4294967295";
    return false;
  }
  request->recno = static_cast<uint32_t>(n);
  std::string node(text, static_cast<size_t>(colon - text));
  const char* digits = node.c_str();
  if (*digits == '#') ++digits;
  if (read_number(digits, INT32_MIN, UINT32_MAX, &n)) {
    request->node_id = static_cast<int32_t>(static_cast<uint32_t>(n));
    if (request->node_id == 0) {
      *why = "names node 0, which no record belongs to";
      return false;
    }
    return true;
  }
  if (node[0] == '#' || node[0] == '-' || (node[0] >= '0' && node[0] <= '9')) {
    *why = "has a node that is neither a number from -2147483648 to 4294967295 nor a name";
    return false;
  }
  request->by_name = true;
  request->name = node;
  return true;
}

}  // namespace jrn
