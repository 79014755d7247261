// RecordFile encoding: per value one tag byte (the storage class), then a zig-zag varint for
// an integer, 8 bytes for a real, a varint length and the bytes for text and blobs.
#include "host/servers/sqlite/record_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "host/data_server.h"
#include "host/servers/sqlite/connection.h"

namespace tabulo::host::sqlite {
namespace {

constexpr size_t kFlushBytes = 1 << 20;

[[noreturn]] void Fail(const std::string& what, const std::filesystem::path& path) {
  if (errno == ENOSPC || errno == EDQUOT) {
    throw platform::ComError(kErrDiskFull,
                             "The disk holding the snapshot store " + path.string() + " is full",
                             kErrorSource);
  }
  throw platform::ComError(
      kErrSourceUnusable,
      "The snapshot store " + path.string() + " cannot be " + what + ": " + std::strerror(errno),
      kErrorSource);
}

void PutVarint(std::string& out, uint64_t u) {
  while (u >= 0x80) {
    out.push_back(static_cast<char>(u | 0x80));
    u >>= 7;
  }
  out.push_back(static_cast<char>(u));
}

uint64_t GetVarint(const std::string& in, size_t& pos) {
  uint64_t u = 0;
  int shift = 0;
  uint8_t byte;
  do {
    byte = static_cast<uint8_t>(in.at(pos++));
    u |= static_cast<uint64_t>(byte & 0x7f) << shift;
    shift += 7;
  } while (byte & 0x80);
  return u;
}

void PutValue(std::string& out, int storage, int64_t i, double d, const void* bytes, size_t n) {
  out.push_back(static_cast<char>(storage));
  switch (storage) {
    case SQLITE_INTEGER:
      PutVarint(out, (static_cast<uint64_t>(i) << 1) ^ static_cast<uint64_t>(i >> 63));
      break;
    case SQLITE_FLOAT:
      out.append(reinterpret_cast<const char*>(&d), sizeof d);
      break;
    case SQLITE_TEXT:
    case SQLITE_BLOB:
      PutVarint(out, n);
      out.append(static_cast<const char*>(bytes), n);
      break;
    default:
      break;
  }
}

// Decodes one row of `columns` values at `pos`.
std::vector<RawValue> GetRow(const std::string& in, size_t& pos, size_t columns) {
  std::vector<RawValue> row(columns);
  for (RawValue& v : row) {
    v.storage = static_cast<uint8_t>(in.at(pos++));
    switch (v.storage) {
      case SQLITE_INTEGER: {
        const uint64_t u = GetVarint(in, pos);
        v.i = static_cast<int64_t>(u >> 1) ^ -static_cast<int64_t>(u & 1);
        break;
      }
      case SQLITE_FLOAT:
        std::memcpy(&v.d, in.data() + pos, sizeof v.d);
        pos += sizeof v.d;
        break;
      case SQLITE_TEXT:
      case SQLITE_BLOB: {
        const size_t n = GetVarint(in, pos);
        v.bytes.assign(in, pos, n);
        pos += n;
        break;
      }
      default:
        break;
    }
  }
  return row;
}

}  // namespace

RecordFile::RecordFile(std::unique_ptr<TempFile> file, size_t columns)
    : file_(std::move(file)), columns_(columns) {
  fd_ = ::open(file_->path().c_str(), O_RDWR | O_TRUNC | O_CLOEXEC);
  if (fd_ < 0) Fail("opened", file_->path());
  buffer_.reserve(kFlushBytes + 4096);
}

RecordFile::~RecordFile() {
  if (fd_ >= 0) ::close(fd_);
}

void RecordFile::StartRow() {
  if (size_ % kBlockRows == 0) blocks_.push_back(written_ + buffer_.size());
  ++size_;
}

void RecordFile::Append(const std::vector<RawValue>& row) {
  StartRow();
  for (const RawValue& v : row) {
    PutValue(buffer_, v.storage, v.i, v.d, v.bytes.data(), v.bytes.size());
  }
  if (buffer_.size() >= kFlushBytes) Flush();
}

void RecordFile::AppendFrom(sqlite3_stmt* stmt, int columns) {
  StartRow();
  for (int c = 0; c < columns; ++c) {
    const int storage = sqlite3_column_type(stmt, c);
    switch (storage) {
      case SQLITE_INTEGER:
        PutValue(buffer_, storage, sqlite3_column_int64(stmt, c), 0, nullptr, 0);
        break;
      case SQLITE_FLOAT:
        PutValue(buffer_, storage, 0, sqlite3_column_double(stmt, c), nullptr, 0);
        break;
      case SQLITE_TEXT: {
        const unsigned char* text = sqlite3_column_text(stmt, c);
        PutValue(buffer_, storage, 0, 0, text, static_cast<size_t>(sqlite3_column_bytes(stmt, c)));
        break;
      }
      case SQLITE_BLOB: {
        const void* blob = sqlite3_column_blob(stmt, c);
        PutValue(buffer_, storage, 0, 0, blob, static_cast<size_t>(sqlite3_column_bytes(stmt, c)));
        break;
      }
      default:
        PutValue(buffer_, SQLITE_NULL, 0, 0, nullptr, 0);
    }
  }
  if (buffer_.size() >= kFlushBytes) Flush();
}

void RecordFile::Flush() {
  size_t done = 0;
  while (done < buffer_.size()) {
    const ssize_t n = ::pwrite(fd_, buffer_.data() + done, buffer_.size() - done,
                               static_cast<off_t>(written_ + done));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) Fail("written", file_->path());
    done += static_cast<size_t>(n);
  }
  written_ += buffer_.size();
  buffer_.clear();
}

void RecordFile::Finish() {
  Flush();
  buffer_.shrink_to_fit();
  finished_ = true;
}

int64_t RecordFile::Readable() const {
  if (finished_) return size_;
  // A block is whole once the next one has started; its bytes are written once that start
  // lies in the file.
  const auto whole = std::upper_bound(blocks_.begin(), blocks_.end(), written_) - blocks_.begin();
  return std::max<int64_t>(0, whole - 1) * kBlockRows;
}

std::vector<RawValue> RecordFile::Read(int64_t position) {
  const int64_t block = position / kBlockRows;
  if (block != cached_block_) {
    const uint64_t begin = blocks_[static_cast<size_t>(block)];
    const uint64_t end = static_cast<size_t>(block + 1) < blocks_.size()
                             ? blocks_[static_cast<size_t>(block + 1)]
                             : written_;
    block_bytes_.resize(end - begin);
    size_t done = 0;
    while (done < block_bytes_.size()) {
      const ssize_t n = ::pread(fd_, block_bytes_.data() + done, block_bytes_.size() - done,
                                static_cast<off_t>(begin + done));
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) Fail("read", file_->path());
      done += static_cast<size_t>(n);
    }
    cached_block_ = block;
  }
  size_t pos = 0;
  for (int64_t skip = position % kBlockRows; skip > 0; --skip) GetRow(block_bytes_, pos, columns_);
  return GetRow(block_bytes_, pos, columns_);
}

}  // namespace tabulo::host::sqlite
