// What the tests read back of a run: a file's bytes, bytes as hexadecimal
// pairs (as the JSON output writes them) and back, JSON Lines.
#pragma once

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "json_reader.h"

namespace test_files {

// The whole file; empty when it cannot be read.
inline std::string slurp(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  std::stringstream s;
  s << f.rdbuf();
  return s.str();
}

// Lower-case hexadecimal pairs.
inline std::string hex(const std::string& bytes) {
  static const char digits[] = "0123456789abcdef";
  std::string h;
  for (unsigned char b : bytes) {
    h += digits[b >> 4];
    h += digits[b & 15];
  }
  return h;
}

inline std::string unhex(const std::string& h) {
  std::string out;
  for (size_t i = 0; i + 1 < h.size(); i += 2)
    out += static_cast<char>(std::stoi(h.substr(i, 2), nullptr, 16));
  return out;
}

// Each line as a JSON value; a line that is not one fails the test (what
// names the text in the message) and is left out.
inline std::vector<json_reader::value> json_lines(const std::string& text,
                                                  const std::string& what = "") {
  std::vector<json_reader::value> out;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) {
    json_reader::result r = json_reader::parse(line);
    EXPECT_TRUE(r.ok()) << (what.empty() ? "" : what + ": ") << r.message() << ": " << line;
    if (r.ok()) out.push_back(std::move(r.v));
  }
  return out;
}

}  // namespace test_files
