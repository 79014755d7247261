// Plain properties: notifications, refused scroll steps, the server type and the connection
// string. (A new control's values are the saving defaults: persistence_test.)
#include "fake_data_server.h"
#include "hosted_control.h"

namespace tabulo::control::testing {
namespace {

using platform::Variant;

using PropertiesTest = DefaultHostTest;

TEST_F(PropertiesTest, DataTableIgnoresBlanksScrollStepsAreCheckedADsnNameReportFails) {
  TabuloCtl& ctl = NewControl();
  for (const auto& [name, kept, changes] : {std::tuple("Orders", "Orders", 1u),
                                            {"  Orders ", "Orders", 1u},
                                            {" Lines ", " Lines ", 2u}}) {
    ctl.SetDataTable(name);
    EXPECT_EQ(ctl.DataTable(), kept);
    EXPECT_EQ(NotesOf("DataTable"), changes) << name;
  }
  // Scroll steps refuse a small step above the large one (a large step below the small one: the
  // browse script).
  ctl.SetSmallChange(21);
  EXPECT_EQ(ctl.SmallChange(), 1);
  EXPECT_EQ(LastBox(), "SmallChange|16|SmallChange should be less than Large Change");
  // Equal values are accepted both ways.
  ctl.SetSmallChange(20);
  ctl.SetLargeChange(20);
  EXPECT_EQ(std::pair(ctl.SmallChange(), ctl.LargeChange()), std::pair(20, 20));
  EXPECT_EQ(MessageCount(), 1u);
  EXPECT_EQ(ctl.ScrollBar.LargeChange(), 20);
  // A DSN name that cannot be reported to the container shows the DSN message.
  container_.FailPropertyChanged(platform::ComError(5, "The container refused"));
  ctl.SetDSNname("plant");
  container_.StopFailingPropertyChanged();
  ASSERT_EQ(MessageCount(), 2u);
  EXPECT_EQ(LastBox(),
            "DSN Property|16|Tabulo: DSN Property could not be set. \r\n The container refused");
}

TEST_F(PropertiesTest, ServerTypeReachesTheDataServerAtOnce) {
  auto fake = InstallFakeHost(0);
  TabuloCtl& ctl = NewControl();
  ASSERT_EQ(shared().data_server, nullptr);
  ctl.SetServerType(1);
  ASSERT_EQ(shared().data_server, fake);
  EXPECT_EQ(fake->ServerType(), 1);
  EXPECT_EQ(NotesOf("ServerType"), 0u);
  EXPECT_EQ(ctl.sBar.Panels(2).text(), "Connected@FAKEBOX");
}

TEST_F(PropertiesTest, ConnectionErrorsGoToTheDebugOutputAndPanelOne) {
  host::InstallClusterManager(container_.process_state(), nullptr);
  std::string description;
  try {
    host::CreateClusterManager(container_.process_state());
  } catch (const platform::ComError& e) {
    description = e.description();
  }
  ASSERT_FALSE(description.empty());
  TabuloCtl& ctl = NewControl();
  ctl.SetServerType(0);
  EXPECT_EQ(shared().data_server, nullptr);
  ASSERT_FALSE(container_.debug_output().empty());
  EXPECT_EQ(container_.debug_output().back(), "Tabulo: Tabulo Connect - " + description + "\r\n");
  EXPECT_EQ(ctl.sBar.Panels(1).text(), "Server Error:" + description);
  EXPECT_TRUE(container_.message_boxes().empty());
}

// The keys and the order of the setter calls are the connection string's own tests; here the
// control's setters take the values, and both styles come back as they were given.
TEST_F(PropertiesTest, ConnectionStringRoundTripsInBothStyles) {
  TabuloCtl& ctl = NewControl(/*in_host=*/false);
  ctl.Put("ConnectionString", Variant("DSN=Plant;UID=op;PWD=s=cret;DATABASE=Prod;"));
  auto values = [&] {
    return ctl.DSNname() + "|" + ctl.User() + "|" + ctl.Password() + "|" + ctl.Database();
  };
  EXPECT_EQ(values(), "Plant|op|s=cret|Prod");
  EXPECT_EQ(ctl.Get("ConnectionString"), Variant("DSN=Plant;UID=op;PWD=s=cret;"));

  ctl.Put("ServerType", Variant(int16_t{1}));
  ctl.Put("ConnectionString",
          Variant("Data Source=SQL01;Initial Catalog=Prod;User ID=sa;Password=pw"));
  Variant text = ctl.Get("ConnectionString");
  EXPECT_EQ(text, Variant("DataSource=SQL01;DATABASE=Prod;UID=sa;PWD=pw;"));
  ctl.Put("ConnectionString", Variant(""));
  EXPECT_EQ(values(), "|||");
  ctl.Put("ConnectionString", text);
  EXPECT_EQ(values(), "SQL01|sa|pw|Prod");
}

}  // namespace
}  // namespace tabulo::control::testing
