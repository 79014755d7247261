// The fault-injecting VFS: each file wraps the real VFS's file and forwards every method.
#include "common/fault_vfs.h"

#include <cstring>
#include <stdexcept>
#include <utility>

namespace tabulo::test_support {
namespace {

struct FaultFile {
  sqlite3_file base;  // first, as SQLite sees it
  FaultVfs* owner;
  std::string* name;
  sqlite3_file* real;  // the real file, allocated right after this struct
};

int Close(sqlite3_file* f) {
  auto* file = reinterpret_cast<FaultFile*>(f);
  const int rc = file->real->pMethods ? file->real->pMethods->xClose(file->real) : SQLITE_OK;
  delete file->name;
  return rc;
}

// Forward<&sqlite3_io_methods::xM>::Call passes a method on to the real file; with an
// operation, the armed fault of that operation comes first.
template <auto M, FaultOp... op>
struct Forward;
template <typename R, typename... A, R (*sqlite3_io_methods::*M)(sqlite3_file*, A...),
          FaultOp... op>
struct Forward<M, op...> {
  static R Call(sqlite3_file* f, A... a) {
    auto* file = reinterpret_cast<FaultFile*>(f);
    if constexpr (sizeof...(op) == 1) {
      if (int rc = file->owner->Check(op..., *file->name)) return rc;
    }
    return (file->real->pMethods->*M)(file->real, a...);
  }
};
using M = sqlite3_io_methods;

// Versions 1 to 3 of the methods, so that each forwards only what the real file offers.
#define TABULO_V1_METHODS                                                                      \
  Close, Forward<&M::xRead, FaultOp::kRead>::Call, Forward<&M::xWrite, FaultOp::kWrite>::Call, \
      Forward<&M::xTruncate>::Call, Forward<&M::xSync, FaultOp::kSync>::Call,                  \
      Forward<&M::xFileSize>::Call, Forward<&M::xLock, FaultOp::kLock>::Call,                  \
      Forward<&M::xUnlock>::Call, Forward<&M::xCheckReservedLock>::Call,                       \
      Forward<&M::xFileControl>::Call, Forward<&M::xSectorSize>::Call,                         \
      Forward<&M::xDeviceCharacteristics>::Call
#define TABULO_V2_METHODS                                                                  \
  Forward<&M::xShmMap>::Call, Forward<&M::xShmLock>::Call, Forward<&M::xShmBarrier>::Call, \
      Forward<&M::xShmUnmap>::Call
const sqlite3_io_methods kMethods[] = {
    {1, TABULO_V1_METHODS, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr},
    {2, TABULO_V1_METHODS, TABULO_V2_METHODS, nullptr, nullptr},
    {3, TABULO_V1_METHODS, TABULO_V2_METHODS, Forward<&M::xFetch>::Call,
     Forward<&M::xUnfetch>::Call}};
#undef TABULO_V1_METHODS
#undef TABULO_V2_METHODS

int Open(sqlite3_vfs* vfs, sqlite3_filename name, sqlite3_file* f, int flags, int* out_flags) {
  auto* owner = static_cast<FaultVfs*>(vfs->pAppData);
  auto* file = reinterpret_cast<FaultFile*>(f);
  file->base.pMethods = nullptr;
  file->owner = owner;
  file->real = reinterpret_cast<sqlite3_file*>(file + 1);
  file->real->pMethods = nullptr;
  sqlite3_vfs* real = owner->real();
  const int rc = real->xOpen(real, name, file->real, flags, out_flags);
  // A real file with methods must be closed, even after a failed open: so must this one.
  if (file->real->pMethods == nullptr) return rc;
  file->name = new std::string(name ? name : "");
  const int version = file->real->pMethods->iVersion;
  file->base.pMethods = &kMethods[version >= 3 ? 2 : version - 1];
  return rc;
}

int LastError(sqlite3_vfs* vfs, int size, char* text) {
  auto* owner = static_cast<FaultVfs*>(vfs->pAppData);
  if (owner->system_error()) return owner->system_error();
  sqlite3_vfs* real = owner->real();
  return real->xGetLastError ? real->xGetLastError(real, size, text) : 0;
}

int SleepVfs(sqlite3_vfs* vfs, int microseconds) {
  return static_cast<FaultVfs*>(vfs->pAppData)->Sleep(microseconds);
}

}  // namespace

FaultVfs& FaultVfs::Shared() {
  static FaultVfs* shared = new FaultVfs;
  return *shared;
}

FaultVfs::FaultVfs() : real_(sqlite3_vfs_find(nullptr)) {
  if (real_ == nullptr) throw std::runtime_error("no default SQLite VFS");
  vfs_ = *real_;
  vfs_.szOsFile = static_cast<int>(sizeof(FaultFile)) + real_->szOsFile;
  vfs_.zName = "tabulo-fault";
  vfs_.pAppData = this;
  vfs_.xOpen = Open;
  vfs_.xGetLastError = LastError;
  vfs_.xSleep = SleepVfs;
  vfs_.pNext = nullptr;
  sqlite3_vfs_register(&vfs_, 1);
}

FaultVfs::~FaultVfs() {
  sqlite3_vfs_unregister(&vfs_);
  sqlite3_vfs_register(real_, 1);
}

void FaultVfs::Arm(FaultOp op, int n, std::string filter, int rc, std::function<void()> instead) {
  instead_ = std::move(instead);
  op_ = op;
  n_ = n;
  filter_ = std::move(filter);
  rc_ = rc;
  calls_ = 0;
  fired_ = false;
  system_error_ = 0;
  on_sleep_ = nullptr;
}

int FaultVfs::Sleep(int microseconds) {
  if (on_sleep_) std::exchange(on_sleep_, nullptr)();
  return real_->xSleep(real_, microseconds);
}

int FaultVfs::Check(FaultOp op, const std::string& name) {
  if (n_ == 0 || op != op_ || name.find(filter_) == std::string::npos) return SQLITE_OK;
  if (++calls_ != n_) return SQLITE_OK;
  fired_ = true;
  if (instead_) {
    instead_();
    return rc_;
  }
  if (rc_ != 0) return rc_;
  // The usual I/O error of each operation, in the order of FaultOp.
  constexpr int kUsual[] = {SQLITE_IOERR_READ, SQLITE_IOERR_WRITE, SQLITE_IOERR_FSYNC,
                            SQLITE_IOERR_LOCK};
  return kUsual[static_cast<int>(op)];
}

}  // namespace tabulo::test_support
