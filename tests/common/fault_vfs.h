// An SQLite VFS that fails the Nth read, write, sync or lock. Installed, it is the default VFS
// of every later connection and passes everything on to the previous default.
#pragma once

#include <sqlite3.h>

#include <functional>
#include <string>

namespace tabulo::test_support {

enum class FaultOp { kRead, kWrite, kSync, kLock };

class FaultVfs {
 public:
  // The one instance, installed on first use and never removed (connections may outlive tests).
  static FaultVfs& Shared();

  FaultVfs();
  ~FaultVfs();
  FaultVfs(const FaultVfs&) = delete;
  FaultVfs& operator=(const FaultVfs&) = delete;

  // Fails the `n`th call of `op` from now on (from 1; 0 disarms) with `rc` (0: the usual I/O
  // error) on files whose name holds `filter`. With `instead`, the call runs it and then goes
  // on as `rc` says (SQLITE_OK: as usual), e.g. to change a file as SQLite reads it.
  void Arm(FaultOp op, int n, std::string filter = {}, int rc = 0,
           std::function<void()> instead = nullptr);
  void Disarm() { Arm(op_, 0); }
  // The error number SQLite reads after a failed call, until the next Arm (0: the real one).
  void SetSystemError(int error) { system_error_ = error; }
  // Runs `run` at SQLite's next sleep (a busy handler's pause), until the next Arm.
  void OnSleep(std::function<void()> run) { on_sleep_ = std::move(run); }
  // Whether the armed fault happened, and the calls of the armed kind counted since Arm.
  bool fired() const { return fired_; }
  int calls() const { return calls_; }

  // Called by the files: whether this call of `op` on `name` fails, and with what.
  int Check(FaultOp op, const std::string& name);
  sqlite3_vfs* real() const { return real_; }
  int system_error() const { return system_error_; }
  int Sleep(int microseconds);

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
  int system_error_ = 0;
  std::function<void()> on_sleep_;
};

}  // namespace tabulo::test_support
