// A shared library loaded on its first use instead of at program start (dlopen), for the
// client libraries of the server back ends: a program that reads SQLite files never maps them.
#pragma once

#include <mutex>
#include <string>

namespace tabulo::host {

class LibraryOnUse {
 public:
  // `file`: the library's file name with its SONAME version ("libpq.so.5"); `what`: how a
  // message names it ("The PostgreSQL client library"); `package`: the Debian package that
  // holds it; `use`: what it is needed for ("PostgreSQL servers").
  LibraryOnUse(const char* file, const char* what, const char* package, const char* use)
      : file_(file), what_(what), package_(package), use_(use) {}

  // The library's function `name`, the library loaded on the first call. Raises
  // platform::ComError (kErrSourceUnusable) saying what to install when the library cannot be
  // loaded or lacks the function.
  void* Function(const char* name);

 private:
  void* Handle();

  const char* file_;
  const char* what_;
  const char* package_;
  const char* use_;
  std::once_flag once_;
  void* handle_ = nullptr;
  std::string error_;
};

}  // namespace tabulo::host
