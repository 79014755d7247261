#include "host/server_type_router.h"

namespace tabulo::host {
namespace {

class ServerTypeRouter : public DataServer {
 public:
  ServerTypeRouter(std::shared_ptr<DataServer> by_name, std::shared_ptr<DataServer> by_server)
      : by_name_(std::move(by_name)), by_server_(std::move(by_server)) {}

  int16_t ServerType() const override { return type_; }
  void SetServerType(int16_t type) override {
    type_ = type;
    Current().SetServerType(type);
  }
  std::shared_ptr<RecordSet> Query(std::string_view source, std::string_view empty,
                                   std::string_view statement, std::string_view user,
                                   std::string_view password) override {
    return Current().Query(source, empty, statement, user, password);
  }
  int64_t Stream(std::string_view source, std::string_view statement, std::string_view user,
                 std::string_view password, RowStreamSink& sink) override {
    return Current().Stream(source, statement, user, password, sink);
  }
  std::shared_ptr<RecordSet> ListAll(std::string_view source, std::string_view statement,
                                     std::string_view user, std::string_view password) override {
    return Current().ListAll(source, statement, user, password);
  }
  std::shared_ptr<RecordSet> ListSources(std::string_view source, std::string_view user,
                                         std::string_view password) override {
    return Current().ListSources(source, user, password);
  }
  std::shared_ptr<RecordSet> ListCatalogs() override { return Current().ListCatalogs(); }
  std::string MachineName() const override { return by_name_->MachineName(); }

 private:
  DataServer& Current() const { return type_ == 1 ? *by_server_ : *by_name_; }

  std::shared_ptr<DataServer> by_name_;
  std::shared_ptr<DataServer> by_server_;
  int16_t type_ = 0;
};

}  // namespace

std::shared_ptr<DataServer> NewServerTypeRouter(std::shared_ptr<DataServer> by_name,
                                                std::shared_ptr<DataServer> by_server) {
  return std::make_shared<ServerTypeRouter>(std::move(by_name), std::move(by_server));
}

}  // namespace tabulo::host
