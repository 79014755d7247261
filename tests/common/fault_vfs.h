// An SQLite VFS that fails the Nth read, write, sync or lock, for sweeping faults through the
// code that reads and writes databases. Installed, it is the default VFS for every connection
// opened afterwards and passes everything on to the VFS that was the default before.
#pragma once

#include <sqlite3.h>

#include <functional>
#include <string>

namespace tabulo::test_support {

enum class FaultOp { kRead, kWrite, kSync, kLock };

class FaultVfs {
 public:
  // The one instance of the process, installed on first use and never removed (connections
  // opened through it may outlive any test).
  static FaultVfs& Shared();

  FaultVfs();
  ~FaultVfs();
  FaultVfs(const FaultVfs&) = delete;
  FaultVfs& operator=(const FaultVfs&) = delete;

  // Makes the `n`th call of `op` from now on (counting from 1) fail with `rc` (0: the usual
  // I/O error of the operation), on files whose name contains `filter` (empty: any file).
  // n = 0 disarms. With `instead`, the call runs it and then goes on as `rc` says (SQLITE_OK:
  // as usual), e.g. to change a file at the moment SQLite reads it.
  void Arm(FaultOp op, int n, std::string filter = {}, int rc = 0,
           std::function<void()> instead = nullptr);
  void Disarm() { Arm(op_, 0); }
  // Whether the armed fault happened, and the calls of the armed kind counted since Arm.
  bool fired() const { return fired_; }
  int calls() const { return calls_; }

  // Called by the files: whether this call of `op` on `name` fails, and with what.
  int Check(FaultOp op, const std::string& name);
  sqlite3_vfs* real() const { return real_; }

 private:
  sqlite3_vfs vfs_{};
  sqlite3_vfs* real_ = nullptr;
  FaultOp op_ = FaultOp::kRead;
  int n_ = 0;
  std::string filter_;
  int rc_ = 0;
  std::function<void()> instead_;
  int calls_ = 0;
  bool fired_ = false;
};

}  // namespace tabulo::test_support
