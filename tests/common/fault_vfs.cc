// The fault-injecting VFS: each file wraps the real VFS's file and forwards every method.
#include "common/fault_vfs.h"

#include <cstring>
#include <stdexcept>

namespace tabulo::test_support {
namespace {

struct FaultFile {
  sqlite3_file base;  // first, as SQLite sees it
  FaultVfs* owner;
  std::string* name;
  sqlite3_file* real;  // the real file, allocated right after this struct
};

sqlite3_file* Real(sqlite3_file* f) {
  return reinterpret_cast<FaultFile*>(f)->real;
}

int Fault(sqlite3_file* f, FaultOp op) {
  auto* file = reinterpret_cast<FaultFile*>(f);
  return file->owner->Check(op, *file->name);
}

int Close(sqlite3_file* f) {
  auto* file = reinterpret_cast<FaultFile*>(f);
  const int rc = file->real->pMethods ? file->real->pMethods->xClose(file->real) : SQLITE_OK;
  delete file->name;
  return rc;
}
int Read(sqlite3_file* f, void* buffer, int amount, sqlite3_int64 offset) {
  if (int rc = Fault(f, FaultOp::kRead)) return rc;
  return Real(f)->pMethods->xRead(Real(f), buffer, amount, offset);
}
int Write(sqlite3_file* f, const void* buffer, int amount, sqlite3_int64 offset) {
  if (int rc = Fault(f, FaultOp::kWrite)) return rc;
  return Real(f)->pMethods->xWrite(Real(f), buffer, amount, offset);
}
int Truncate(sqlite3_file* f, sqlite3_int64 size) {
  return Real(f)->pMethods->xTruncate(Real(f), size);
}
int Sync(sqlite3_file* f, int flags) {
  if (int rc = Fault(f, FaultOp::kSync)) return rc;
  return Real(f)->pMethods->xSync(Real(f), flags);
}
int FileSize(sqlite3_file* f, sqlite3_int64* size) {
  return Real(f)->pMethods->xFileSize(Real(f), size);
}
int Lock(sqlite3_file* f, int level) {
  if (int rc = Fault(f, FaultOp::kLock)) return rc;
  return Real(f)->pMethods->xLock(Real(f), level);
}
int Unlock(sqlite3_file* f, int level) {
  return Real(f)->pMethods->xUnlock(Real(f), level);
}
int CheckReservedLock(sqlite3_file* f, int* out) {
  return Real(f)->pMethods->xCheckReservedLock(Real(f), out);
}
int FileControl(sqlite3_file* f, int op, void* arg) {
  return Real(f)->pMethods->xFileControl(Real(f), op, arg);
}
int SectorSize(sqlite3_file* f) {
  return Real(f)->pMethods->xSectorSize(Real(f));
}
int DeviceCharacteristics(sqlite3_file* f) {
  return Real(f)->pMethods->xDeviceCharacteristics(Real(f));
}
int ShmMap(sqlite3_file* f, int page, int size, int extend, void volatile** out) {
  return Real(f)->pMethods->xShmMap(Real(f), page, size, extend, out);
}
int ShmLock(sqlite3_file* f, int offset, int n, int flags) {
  return Real(f)->pMethods->xShmLock(Real(f), offset, n, flags);
}
void ShmBarrier(sqlite3_file* f) {
  Real(f)->pMethods->xShmBarrier(Real(f));
}
int ShmUnmap(sqlite3_file* f, int remove) {
  return Real(f)->pMethods->xShmUnmap(Real(f), remove);
}
int Fetch(sqlite3_file* f, sqlite3_int64 offset, int amount, void** out) {
  return Real(f)->pMethods->xFetch(Real(f), offset, amount, out);
}
int Unfetch(sqlite3_file* f, sqlite3_int64 offset, void* page) {
  return Real(f)->pMethods->xUnfetch(Real(f), offset, page);
}

// Versions 1 to 3 of the methods, so that each forwards only what the real file offers.
const sqlite3_io_methods kMethods[] = {
    {1, Close, Read, Write, Truncate, Sync, FileSize, Lock, Unlock, CheckReservedLock, FileControl,
     SectorSize, DeviceCharacteristics, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr},
    {2, Close, Read, Write, Truncate, Sync, FileSize, Lock, Unlock, CheckReservedLock, FileControl,
     SectorSize, DeviceCharacteristics, ShmMap, ShmLock, ShmBarrier, ShmUnmap, nullptr, nullptr},
    {3, Close, Read, Write, Truncate, Sync, FileSize, Lock, Unlock, CheckReservedLock, FileControl,
     SectorSize, DeviceCharacteristics, ShmMap, ShmLock, ShmBarrier, ShmUnmap, Fetch, Unfetch}};

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
  switch (op) {
    case FaultOp::kRead:
      return SQLITE_IOERR_READ;
    case FaultOp::kWrite:
      return SQLITE_IOERR_WRITE;
    case FaultOp::kSync:
      return SQLITE_IOERR_FSYNC;
    case FaultOp::kLock:
      return SQLITE_IOERR_LOCK;
  }
  return SQLITE_IOERR;
}

}  // namespace tabulo::test_support
