// KeyList: the integer keys of a result in result order (SQLite rowids, PostgreSQL primary
// keys), compact enough to hold ten million of them in about 11 MB. Values are stored as
// zig-zag varint differences (results ordered by key take one byte a row); every kBlockSize-th
// value starts a block stored absolute, and a block index of byte offsets makes At(i) decode at
// most kBlockSize values.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace tabulo::host {

class KeyList {
 public:
  static constexpr int64_t kBlockSize = 64;

  void Append(int64_t key);
  int64_t size() const { return size_; }
  // REQUIRES: 0 <= i < size().
  int64_t At(int64_t i) const;
  // Bytes held, for the memory bound and its tests.
  size_t MemoryBytes() const;
  // Releases spare capacity once the list is complete.
  void ShrinkToFit();

 private:
  std::vector<uint8_t> bytes_;
  std::vector<uint64_t> block_offsets_;
  int64_t size_ = 0;
  int64_t last_ = 0;
};

}  // namespace tabulo::host
