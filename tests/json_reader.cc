#include "json_reader.h"

#include <cstdint>
#include <set>
#include <stdexcept>

namespace json_reader {

const value* value::find(const std::string& key) const {
  for (const auto& m : members)
    if (m.first == key) return &m.second;
  return nullptr;
}

const value& value::operator[](const std::string& key) const {
  static const value none;
  const value* v = find(key);
  return v ? *v : none;
}

const value& value::at(const std::string& key) const {
  const value* v = find(key);
  if (!v) throw std::out_of_range("no key \"" + key + "\"");
  return *v;
}

std::vector<std::string> value::keys() const {
  std::vector<std::string> k;
  for (const auto& m : members) k.push_back(m.first);
  return k;
}

bool value::is_integer() const {
  return kind == number_v && text.find_first_of(".eE") == std::string::npos;
}

long long value::num() const {
  if (!is_integer()) throw std::domain_error("not an integer: \"" + text + "\"");
  return std::stoll(text);
}

std::string result::message() const { return error + " at byte " + std::to_string(position); }

namespace {

class reader {
 public:
  explicit reader(const std::string& s) : s_(s) {}

  result read() {
    result r;
    if (!parse_value(r.v, 0) || (ws(), pos_ != s_.size())) {
      r.error = error_.empty() ? "text after the value" : error_;
      r.position = pos_;
    }
    return r;
  }

 private:
  bool fail(const std::string& why) {
    if (error_.empty()) error_ = why;
    return false;
  }
  void ws() {
    while (pos_ < s_.size() &&
           (s_[pos_] == ' ' || s_[pos_] == '\t' || s_[pos_] == '\n' || s_[pos_] == '\r'))
      ++pos_;
  }
  bool literal(const char* word) {
    const std::string w(word);
    if (s_.compare(pos_, w.size(), w) != 0) return fail("bad literal");
    pos_ += w.size();
    return true;
  }
  bool digit_at(size_t i) const { return i < s_.size() && s_[i] >= '0' && s_[i] <= '9'; }

  bool parse_value(value& v, int depth) {
    if (depth > 64) return fail("nested too deeply");
    ws();
    if (pos_ >= s_.size()) return fail("end of text where a value belongs");
    const char c = s_[pos_];
    if (c == '{') return parse_object(v, depth);
    if (c == '[') return parse_array(v, depth);
    if (c == '"') {
      v.kind = value::string_v;
      return parse_string(v.text);
    }
    if (c == 't' || c == 'f') {
      v.kind = value::bool_v;
      v.b = c == 't';
      return literal(v.b ? "true" : "false");
    }
    if (c == 'n') {
      v.kind = value::null_v;
      return literal("null");
    }
    if (c == '-' || digit_at(pos_)) return parse_number(v);
    return fail("not a value");
  }

  bool parse_number(value& v) {
    const size_t start = pos_;
    if (s_[pos_] == '-') ++pos_;
    if (!digit_at(pos_)) return fail("number without digits");
    if (s_[pos_] == '0') {
      ++pos_;
      if (digit_at(pos_)) return fail("number with a leading zero");
    } else {
      while (digit_at(pos_)) ++pos_;
    }
    if (pos_ < s_.size() && s_[pos_] == '.') {
      ++pos_;
      if (!digit_at(pos_)) return fail("fraction without digits");
      while (digit_at(pos_)) ++pos_;
    }
    if (pos_ < s_.size() && (s_[pos_] == 'e' || s_[pos_] == 'E')) {
      ++pos_;
      if (pos_ < s_.size() && (s_[pos_] == '+' || s_[pos_] == '-')) ++pos_;
      if (!digit_at(pos_)) return fail("exponent without digits");
      while (digit_at(pos_)) ++pos_;
    }
    v.kind = value::number_v;
    v.text = s_.substr(start, pos_ - start);
    return true;
  }

  static void put_utf8(uint32_t cp, std::string& out) {
    if (cp < 0x80) {
      out += static_cast<char>(cp);
    } else if (cp < 0x800) {
      out += static_cast<char>(0xc0 | (cp >> 6));
      out += static_cast<char>(0x80 | (cp & 0x3f));
    } else if (cp < 0x10000) {
      out += static_cast<char>(0xe0 | (cp >> 12));
      out += static_cast<char>(0x80 | ((cp >> 6) & 0x3f));
      out += static_cast<char>(0x80 | (cp & 0x3f));
    } else {
      out += static_cast<char>(0xf0 | (cp >> 18));
      out += static_cast<char>(0x80 | ((cp >> 12) & 0x3f));
      out += static_cast<char>(0x80 | ((cp >> 6) & 0x3f));
      out += static_cast<char>(0x80 | (cp & 0x3f));
    }
  }

  bool hex4(uint32_t* cp) {
    if (pos_ + 4 > s_.size()) return fail("short \\u escape");
    uint32_t v = 0;
    for (int i = 0; i < 4; ++i) {
      const char h = s_[pos_++];
      v <<= 4;
      if (h >= '0' && h <= '9')
        v |= static_cast<uint32_t>(h - '0');
      else if (h >= 'a' && h <= 'f')
        v |= static_cast<uint32_t>(h - 'a' + 10);
      else if (h >= 'A' && h <= 'F')
        v |= static_cast<uint32_t>(h - 'A' + 10);
      else
        return fail("bad hex digit in \\u escape");
    }
    *cp = v;
    return true;
  }

  // One UTF-8 encoded character at pos_: shortest form, no surrogates,
  // nothing above U+10FFFF.
  bool utf8_char(std::string& out) {
    const auto b0 = static_cast<uint8_t>(s_[pos_]);
    int n;
    uint32_t cp, min;
    if (b0 >= 0xc2 && b0 <= 0xdf) {
      n = 1, cp = b0 & 0x1fu, min = 0x80;
    } else if (b0 >= 0xe0 && b0 <= 0xef) {
      n = 2, cp = b0 & 0x0fu, min = 0x800;
    } else if (b0 >= 0xf0 && b0 <= 0xf4) {
      n = 3, cp = b0 & 0x07u, min = 0x10000;
    } else {
      return fail("invalid UTF-8 lead byte");
    }
    if (pos_ + static_cast<size_t>(n) >= s_.size()) return fail("cut UTF-8 sequence");
    for (int i = 1; i <= n; ++i) {
      const auto b = static_cast<uint8_t>(s_[pos_ + static_cast<size_t>(i)]);
      if ((b & 0xc0) != 0x80) return fail("invalid UTF-8 continuation byte");
      cp = (cp << 6) | (b & 0x3fu);
    }
    if (cp < min || cp > 0x10ffff || (cp >= 0xd800 && cp <= 0xdfff))
      return fail("invalid UTF-8 sequence");
    out.append(s_, pos_, static_cast<size_t>(n) + 1);
    pos_ += static_cast<size_t>(n) + 1;
    return true;
  }

  bool parse_string(std::string& out) {
    ++pos_;  // the opening quote
    out.clear();
    for (;;) {
      if (pos_ >= s_.size()) return fail("string without its closing quote");
      const auto c = static_cast<uint8_t>(s_[pos_]);
      if (c == '"') {
        ++pos_;
        return true;
      }
      if (c < 0x20) return fail("raw control character in a string");
      if (c >= 0x80) {
        if (!utf8_char(out)) return false;
        continue;
      }
      if (c != '\\') {
        out += static_cast<char>(c);
        ++pos_;
        continue;
      }
      if (++pos_ >= s_.size()) return fail("string ends in an escape");
      const char e = s_[pos_++];
      switch (e) {
        case '"': out += '"'; break;
        case '\\': out += '\\'; break;
        case '/': out += '/'; break;
        case 'b': out += '\b'; break;
        case 'f': out += '\f'; break;
        case 'n': out += '\n'; break;
        case 'r': out += '\r'; break;
        case 't': out += '\t'; break;
        case 'u': {
          uint32_t cp;
          if (!hex4(&cp)) return false;
          if (cp >= 0xdc00 && cp <= 0xdfff) return fail("lone low surrogate");
          if (cp >= 0xd800 && cp <= 0xdbff) {
            uint32_t low;
            if (s_.compare(pos_, 2, "\\u") != 0) return fail("high surrogate without its pair");
            pos_ += 2;
            if (!hex4(&low)) return false;
            if (low < 0xdc00 || low > 0xdfff) return fail("high surrogate without its pair");
            cp = 0x10000 + ((cp - 0xd800) << 10) + (low - 0xdc00);
          }
          put_utf8(cp, out);
          break;
        }
        default: return fail("unknown escape");
      }
    }
  }

  bool parse_array(value& v, int depth) {
    v.kind = value::array_v;
    ++pos_;
    ws();
    if (pos_ < s_.size() && s_[pos_] == ']') {
      ++pos_;
      return true;
    }
    for (;;) {
      v.items.emplace_back();
      if (!parse_value(v.items.back(), depth + 1)) return false;
      ws();
      if (pos_ >= s_.size()) return fail("array without its end");
      if (s_[pos_] == ',') {
        ++pos_;
        continue;
      }
      if (s_[pos_] != ']') return fail("expected , or ] in an array");
      ++pos_;
      return true;
    }
  }

  bool parse_object(value& v, int depth) {
    v.kind = value::object_v;
    ++pos_;
    ws();
    if (pos_ < s_.size() && s_[pos_] == '}') {
      ++pos_;
      return true;
    }
    std::set<std::string> seen;
    for (;;) {
      ws();
      if (pos_ >= s_.size() || s_[pos_] != '"') return fail("expected a key");
      std::string key;
      if (!parse_string(key)) return false;
      if (!seen.insert(key).second) return fail("key \"" + key + "\" twice");
      ws();
      if (pos_ >= s_.size() || s_[pos_] != ':') return fail("expected : after a key");
      ++pos_;
      v.members.emplace_back(key, value());
      if (!parse_value(v.members.back().second, depth + 1)) return false;
      ws();
      if (pos_ >= s_.size()) return fail("object without its end");
      if (s_[pos_] == ',') {
        ++pos_;
        continue;
      }
      if (s_[pos_] != '}') return fail("expected , or } in an object");
      ++pos_;
      return true;
    }
  }

  const std::string& s_;
  size_t pos_ = 0;
  std::string error_;
};

}  // namespace

result parse(const std::string& text) { return reader(text).read(); }

}  // namespace json_reader
