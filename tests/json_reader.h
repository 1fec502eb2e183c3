// A strict JSON reader for the tests (RFC 8259): nothing but the grammar,
// strings in valid UTF-8 without raw control characters, escapes of
// surrogates in pairs, no key twice in one object. The tests read the
// tool's JSON Lines report, the --stats --json document and the manifest of
// --save with it, so that output which is not strict JSON fails them.
#pragma once

#include <cstddef>
#include <string>
#include <utility>
#include <vector>

namespace json_reader {

struct value {
  enum kind_t { null_v, bool_v, number_v, string_v, array_v, object_v } kind = null_v;
  bool b = false;
  std::string text;          // a number as written; a string's characters in UTF-8
  std::vector<value> items;  // an array's
  std::vector<std::pair<std::string, value>> members;  // an object's, in order

  // The member of that key; nullptr when there is none.
  const value* find(const std::string& key) const;
  bool has(const std::string& key) const { return find(key) != nullptr; }
  // The member's value; a null value when there is none.
  const value& operator[](const std::string& key) const;
  // The member's value; throws std::out_of_range when there is none, for
  // the places where a missing key must fail the test.
  const value& at(const std::string& key) const;
  std::vector<std::string> keys() const;

  bool is_null() const { return kind == null_v; }
  bool is_number() const { return kind == number_v; }
  bool is_string() const { return kind == string_v; }
  bool is_array() const { return kind == array_v; }
  bool is_object() const { return kind == object_v; }
  // A number without fraction or exponent.
  bool is_integer() const;
  // The integer; throws std::domain_error when the value is not an integer
  // and std::out_of_range when it does not fit.
  long long num() const;
};

struct result {
  value v;
  std::string error;    // empty when the whole text is one value
  size_t position = 0;  // the byte the error was found at
  bool ok() const { return error.empty(); }
  // "why at byte N", for a test's failure message.
  std::string message() const;
};

// The whole text as one value, with white space around it.
result parse(const std::string& text);

}  // namespace json_reader
