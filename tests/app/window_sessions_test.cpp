// Two window models in one process, each with an engine session of its own:
// one opens its files through a failing storage, the other through the
// standard one, and neither sees the other's kept connections or hand-off
// files.
#include <gtest/gtest.h>

#include "app/catalogues.h"
#include "tests/support/db_builder.h"
#include "tests/support/failing_storage.h"
#include "tests/support/window_fixture.h"

namespace actualiz::app {
namespace {

constexpr const char* kModel = R"({"tables": [{"name": "T", "fields": [
  {"name": "A", "type": 4}, {"name": "B", "type": 10, "size": 20}]}]})";
constexpr const char* kTarget = R"({"tables": [{"name": "T", "fields": [
  {"name": "A", "type": 4}]}]})";

std::unique_ptr<Actualiz> WindowOn(testing::TestSite& site,
                                   std::shared_ptr<engine::Session> session) {
  site.Database("c:\\prog\\modelos\\alfa.mdb", kModel);
  site.Database("c:\\datos\\alfa.mdb", kTarget);
  Environment env = site.MakeEnvironment();
  env.session = std::move(session);
  auto window = std::make_unique<Actualiz>(std::move(env));
  window->Activate();
  window->AtTop("Dir1.Path", [&] { window->Dir1.SetPath("c:\\datos"); });
  window->Log().Clear();
  return window;
}

std::size_t FieldCount(const testing::TestSite& site) {
  return testing::DescribeFile(site.Host("c:\\datos\\alfa.mdb"))["tables"][0]["fields"].size();
}

TEST(WindowSessions, EachWindowSeesOnlyItsOwnSession) {
  testing::TestSite failing_site;
  testing::TestSite sound_site;
  auto failing_session = std::make_shared<engine::Session>();
  const auto fault =
      testing::InstallFailingStorage(*failing_session, testing::FailEvery(testing::Fault::kChange));
  auto failing = WindowOn(failing_site, failing_session);
  auto sound = WindowOn(sound_site, nullptr);  // the window makes its own session

  {
    engine::KeepClosedConnections keep(sound->Session());
    sound->OpenDatabase("c:\\datos\\alfa.mdb")->Close();
    EXPECT_EQ(sound->Session().KeptConnectionCount(), 1);
    EXPECT_EQ(failing->Session().KeptConnectionCount(), 0);
  }
  EXPECT_TRUE(failing->Session().IsHandOff(failing_site.Host(kIndexCatalogue)));
  EXPECT_FALSE(failing->Session().IsHandOff(sound_site.Host(kIndexCatalogue)));
  EXPECT_TRUE(sound->Session().IsHandOff(sound_site.Host(kIndexCatalogue)));
  EXPECT_FALSE(sound->Session().IsHandOff(failing_site.Host(kIndexCatalogue)));

  failing->Click("Command13_Click");
  sound->Click("Command13_Click");
  EXPECT_GT(fault->injected, 0);
  EXPECT_FALSE(failing->Log().Failures().empty());
  EXPECT_EQ(FieldCount(failing_site), 1u);
  EXPECT_TRUE(sound->Log().Failures().empty());
  EXPECT_EQ(FieldCount(sound_site), 2u);
}

}  // namespace
}  // namespace actualiz::app
