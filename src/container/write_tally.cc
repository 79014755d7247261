#include "container/write_tally.h"

#include "platform/values/com_error.h"

namespace tabulo::container {
namespace {

class TalliedServer : public host::DataServer {
 public:
  TalliedServer(std::shared_ptr<host::DataServer> inner, std::shared_ptr<WriteTally> tally)
      : inner_(std::move(inner)), tally_(std::move(tally)) {}

  int16_t ServerType() const override { return inner_->ServerType(); }
  void SetServerType(int16_t type) override { inner_->SetServerType(type); }
  std::shared_ptr<host::RecordSet> Query(std::string_view source, std::string_view empty,
                                         std::string_view statement, std::string_view user,
                                         std::string_view password) override {
    try {
      std::shared_ptr<host::RecordSet> rs = inner_->Query(source, empty, statement, user, password);
      if (rs->State() != 1) ++tally_->writes;
      return rs;
    } catch (const platform::ComError& e) {
      tally_->last_error = e.description();
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

std::shared_ptr<host::DataServer> TallyWrites(std::shared_ptr<host::DataServer> server,
                                              std::shared_ptr<WriteTally> tally) {
  return std::make_shared<TalliedServer>(std::move(server), std::move(tally));
}

}  // namespace tabulo::container
