#include "host/servers/pg/pg_joinable.h"

#include <algorithm>
#include <mutex>
#include <vector>

namespace tabulo::host::pg {
namespace {

std::mutex& Lock() {
  static std::mutex* lock = new std::mutex;
  return *lock;
}

std::vector<JoinableTransaction*>& Offered() {
  static auto* offered = new std::vector<JoinableTransaction*>;
  return *offered;
}

// An empty database is the login's own.
std::string DatabaseOf(const Endpoint& e) {
  return e.database.empty() ? e.user : e.database;
}

bool SameLogin(const Endpoint& a, const Endpoint& b) {
  return a.host == b.host && a.port == b.port && DatabaseOf(a) == DatabaseOf(b) &&
         a.user == b.user && a.password == b.password;
}

}  // namespace

void OfferTransaction(JoinableTransaction* transaction) {
  std::lock_guard<std::mutex> hold(Lock());
  Offered().push_back(transaction);
}

void WithdrawTransaction(JoinableTransaction* transaction) {
  std::lock_guard<std::mutex> hold(Lock());
  std::erase(Offered(), transaction);
}

JoinableTransaction* JoinableFor(const Endpoint& endpoint) {
  std::lock_guard<std::mutex> hold(Lock());
  for (auto it = Offered().rbegin(); it != Offered().rend(); ++it)
    if ((*it)->state == JoinableTransaction::kOpen && SameLogin((*it)->endpoint, endpoint))
      return *it;
  return nullptr;
}

}  // namespace tabulo::host::pg
