// The key of one decoded CDX entry. A leaf a seek or an insert reads is decoded whole, and a
// key per entry on the heap made allocation and freeing the largest part of an append; keys up
// to kInline bytes (numbers, dates and most character keys) are held in the entry itself.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

namespace xbase::cdx {

class KeyBytes {
 public:
  static constexpr size_t kInline = 32;

  KeyBytes() = default;
  explicit KeyBytes(std::string_view s) { assign(s); }
  KeyBytes(const KeyBytes& o) { assign(o.view()); }
  KeyBytes(KeyBytes&& o) noexcept { take(o); }
  KeyBytes& operator=(const KeyBytes& o) {
    if (this != &o) assign(o.view());
    return *this;
  }
  KeyBytes& operator=(KeyBytes&& o) noexcept {
    if (this != &o) {
      release();
      take(o);
    }
    return *this;
  }
  ~KeyBytes() { release(); }

  void assign(const char* p, size_t n) {
    if (n > kInline && capacity_ < n) {
      char* grown = new char[n];
      std::memcpy(grown, p, n);  // before the old bytes go: p may point into them
      release();
      heap_ = grown;
      capacity_ = static_cast<uint32_t>(n);
    } else {
      std::memmove(capacity_ > 0 ? heap_ : local_, p, n);
    }
    size_ = static_cast<uint32_t>(n);
  }
  void assign(std::string_view s) { assign(s.data(), s.size()); }

  const char* data() const { return capacity_ > 0 ? heap_ : local_; }
  size_t size() const { return size_; }
  bool empty() const { return size_ == 0; }
  std::string_view view() const { return {data(), size_}; }
  operator std::string_view() const { return view(); }  // NOLINT: a key reads as its bytes
  char operator[](size_t i) const { return data()[i]; }

  friend bool operator==(const KeyBytes& a, const KeyBytes& b) { return a.view() == b.view(); }
  friend bool operator==(const KeyBytes& a, std::string_view b) { return a.view() == b; }
  friend bool operator==(const KeyBytes& a, const std::string& b) { return a.view() == b; }
  friend bool operator==(const KeyBytes& a, const char* b) { return a.view() == b; }

 private:
  // A heap buffer, once a key outgrew kInline, holds the bytes until the key is destroyed
  // (keys of one tag share a length: it is reused, never shrunk).
  void release() {
    if (capacity_ > 0) delete[] heap_;
    capacity_ = 0;
  }
  void take(KeyBytes& o) {
    size_ = o.size_;
    capacity_ = o.capacity_;
    if (capacity_ > 0)
      heap_ = o.heap_;
    else
      std::memcpy(local_, o.local_, size_);
    o.size_ = o.capacity_ = 0;
  }

  uint32_t size_ = 0;
  uint32_t capacity_ = 0;  // of heap_; 0: no heap buffer, local_ is the storage
  union {
    char local_[kInline];
    char* heap_;
  };
};

}  // namespace xbase::cdx
