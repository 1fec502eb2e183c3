// A bounds-checked view over a record payload. Fields are copied out byte
// by byte in the writer's (native) byte order; a field that does not lie
// wholly inside the payload reads as 0, so no decoder can read past it.
#pragma once

#include <cstdint>
#include <cstring>

namespace jrn {

class payload_view {
 public:
  payload_view(const uint8_t* data, uint32_t size) : data_(data), size_(size) {}

  uint32_t size() const { return size_; }
  const uint8_t* data() const { return data_; }
  bool has(uint32_t offset, uint32_t len) const { return offset <= size_ && len <= size_ - offset; }

  uint8_t u8(uint32_t off) const { return get<uint8_t>(off); }
  uint16_t u16(uint32_t off) const { return get<uint16_t>(off); }
  int16_t i16(uint32_t off) const { return get<int16_t>(off); }
  uint32_t u32(uint32_t off) const { return get<uint32_t>(off); }
  int32_t i32(uint32_t off) const { return get<int32_t>(off); }

  // The bytes from offset on, at most len of them: what the payload holds.
  uint32_t span(uint32_t offset, uint32_t len) const {
    if (offset >= size_) return 0;
    return len < size_ - offset ? len : size_ - offset;
  }
  const uint8_t* at(uint32_t offset) const { return offset <= size_ ? data_ + offset : data_; }

 private:
  template <typename T>
  T get(uint32_t off) const {
    T v = 0;
    if (has(off, sizeof(T))) std::memcpy(&v, data_ + off, sizeof(T));
    return v;
  }

  const uint8_t* data_;
  uint32_t size_;
};

}  // namespace jrn
