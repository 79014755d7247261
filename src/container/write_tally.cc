#include "container/write_tally.h"

#include <cctype>
#include <chrono>
#include <mutex>

#include "platform/values/com_error.h"

namespace tabulo::container {
namespace {

std::mutex g_observer_mu;
std::shared_ptr<std::function<void(const DataCall&)>> g_observer;

std::shared_ptr<std::function<void(const DataCall&)>> Observer() {
  std::lock_guard lock(g_observer_mu);
  return g_observer;
}

// A statement that asks for rows (the first word), as opposed to a write.
bool IsQuery(std::string_view statement) {
  size_t at = statement.find_first_not_of(" \t\r\n(");
  if (at == std::string_view::npos) return false;
  std::string word;
  for (; at < statement.size() && std::isalpha(static_cast<unsigned char>(statement[at])); ++at)
    word += static_cast<char>(std::tolower(static_cast<unsigned char>(statement[at])));
  return word == "select" || word == "with" || word == "values" || word == "table";
}

class TalliedServer : public host::DataServer {
 public:
  TalliedServer(std::shared_ptr<host::DataServer> inner, std::shared_ptr<WriteTally> tally)
      : inner_(std::move(inner)), tally_(std::move(tally)) {}

  int16_t ServerType() const override { return inner_->ServerType(); }
  void SetServerType(int16_t type) override { inner_->SetServerType(type); }
  std::shared_ptr<host::RecordSet> Query(std::string_view source, std::string_view empty,
                                         std::string_view statement, std::string_view user,
                                         std::string_view password) override {
    const auto observer = Observer();
    const auto start = std::chrono::steady_clock::now();
    auto tell = [&](bool write, int32_t error) {
      if (!observer) return;
      (*observer)({write,
                   std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(),
                   error});
    };
    try {
      std::shared_ptr<host::RecordSet> rs = inner_->Query(source, empty, statement, user, password);
      if (rs->State() != 1) ++tally_->writes;
      tell(rs->State() != 1, 0);
      return rs;
    } catch (const platform::ComError& e) {
      tally_->last_error = e.description();
      tell(!IsQuery(statement), e.number());
      throw;
    }
  }
  std::shared_ptr<host::RecordSet> ListAll(std::string_view source, std::string_view statement,
                                           std::string_view user,
                                           std::string_view password) override {
    return inner_->ListAll(source, statement, user, password);
  }
  std::shared_ptr<host::RecordSet> ListSources(std::string_view source, std::string_view user,
                                               std::string_view password) override {
    return inner_->ListSources(source, user, password);
  }
  std::shared_ptr<host::RecordSet> ListCatalogs() override { return inner_->ListCatalogs(); }
  std::string MachineName() const override { return inner_->MachineName(); }

 private:
  std::shared_ptr<host::DataServer> inner_;
  std::shared_ptr<WriteTally> tally_;
};

}  // namespace

void ObserveDataCalls(std::function<void(const DataCall&)> observer) {
  std::lock_guard lock(g_observer_mu);
  g_observer = observer
                   ? std::make_shared<std::function<void(const DataCall&)>>(std::move(observer))
                   : nullptr;
}

std::shared_ptr<host::DataServer> TallyWrites(std::shared_ptr<host::DataServer> server,
                                              std::shared_ptr<WriteTally> tally) {
  return std::make_shared<TalliedServer>(std::move(server), std::move(tally));
}

}  // namespace tabulo::container
