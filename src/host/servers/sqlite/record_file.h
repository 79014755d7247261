// RecordFile: the rows of the general path beyond the memory bound, appended to a private
// file of the store in a compact encoding of SQLite's own values, and read back by position.
// Every kBlockRows-th row starts a block whose file offset is kept in memory (8 bytes per
// block), so reading row i decodes at most kBlockRows rows of one block. Appending costs one
// buffered write per ~1 MB: far less than a statement per row into an SQLite store file.
// Internal to host/servers/sqlite.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "host/servers/sqlite/column_types.h"
#include "host/servers/sqlite/temp_store.h"

namespace tabulo::host::sqlite {

class RecordFile {
 public:
  static constexpr int64_t kBlockRows = 64;

  // Takes a fresh file of the store (removed when the RecordFile is destroyed) for rows of
  // `columns` values. Raises 0x80004005 when it cannot be opened.
  RecordFile(std::unique_ptr<TempFile> file, size_t columns);
  ~RecordFile();
  RecordFile(const RecordFile&) = delete;
  RecordFile& operator=(const RecordFile&) = delete;

  // Appends one row; raises 0x80004005 when the file cannot be written (disk full).
  void Append(const std::vector<RawValue>& row);
  // Appends the current row of `stmt` without copying its values first.
  void AppendFrom(sqlite3_stmt* stmt, int columns);
  // Writes what is buffered; call once every row is appended.
  void Finish();

  int64_t size() const { return size_; }
  // The rows Read can give while appending goes on: those of the blocks already written
  // whole (every row once Finish() is called).
  int64_t Readable() const;
  // REQUIRES: 0 <= position < Readable(). Raises 0x80004005 on a read failure.
  std::vector<RawValue> Read(int64_t position);

 private:
  void StartRow();
  void Flush();

  std::unique_ptr<TempFile> file_;
  size_t columns_;
  int fd_ = -1;
  std::string buffer_;            // bytes not yet written
  uint64_t written_ = 0;          // bytes in the file
  std::vector<uint64_t> blocks_;  // file offset of every kBlockRows-th row
  int64_t size_ = 0;
  // The last block read, decoded lazily: its bytes.
  int64_t cached_block_ = -1;
  std::string block_bytes_;
  bool finished_ = false;
};

}  // namespace tabulo::host::sqlite
