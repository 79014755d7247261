// KeyList encoding.
#include "host/key_list.h"

namespace tabulo::host {
namespace {

uint64_t ZigZag(int64_t v) {
  return (static_cast<uint64_t>(v) << 1) ^ static_cast<uint64_t>(v >> 63);
}
int64_t UnZigZag(uint64_t u) {
  return static_cast<int64_t>(u >> 1) ^ -static_cast<int64_t>(u & 1);
}

}  // namespace

void KeyList::Append(int64_t key) {
  uint64_t u;
  if (size_ % kBlockSize == 0) {
    block_offsets_.push_back(bytes_.size());
    u = ZigZag(key);
  } else {
    // Wrapping subtraction: the difference of any two 64-bit keys round-trips.
    u = ZigZag(static_cast<int64_t>(static_cast<uint64_t>(key) - static_cast<uint64_t>(last_)));
  }
  while (u >= 0x80) {
    bytes_.push_back(static_cast<uint8_t>(u | 0x80));
    u >>= 7;
  }
  bytes_.push_back(static_cast<uint8_t>(u));
  last_ = key;
  ++size_;
}

int64_t KeyList::At(int64_t i) const {
  size_t pos = block_offsets_[static_cast<size_t>(i / kBlockSize)];
  uint64_t value = 0;
  for (int64_t k = 0; k <= i % kBlockSize; ++k) {
    uint64_t u = 0;
    int shift = 0;
    uint8_t byte;
    do {
      byte = bytes_[pos++];
      u |= static_cast<uint64_t>(byte & 0x7f) << shift;
      shift += 7;
    } while (byte & 0x80);
    value =
        k == 0 ? static_cast<uint64_t>(UnZigZag(u)) : value + static_cast<uint64_t>(UnZigZag(u));
  }
  return static_cast<int64_t>(value);
}

size_t KeyList::MemoryBytes() const {
  return bytes_.capacity() + block_offsets_.capacity() * sizeof(uint64_t);
}

void KeyList::ShrinkToFit() {
  bytes_.shrink_to_fit();
  block_offsets_.shrink_to_fit();
}

}  // namespace tabulo::host
