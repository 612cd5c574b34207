// The window opens the three catalogues as hand-off files and nothing else.
#include <gtest/gtest.h>

#include "app/catalogues.h"
#include "tests/support/window_fixture.h"

namespace actualiz::app {
namespace {

TEST(CatalogueHandOff, TheWindowMarksTheCataloguesOnly) {
  testing::TestSite site;
  site.Database("c:\\datos\\clientes.mdb");
  site.Database("c:\\prog\\modelos\\clientes.mdb");
  auto window = site.MakeWindow();
  for (const char* catalogue : {kIndexCatalogue, kRelationCatalogue, kQueryCatalogue}) {
    EXPECT_TRUE(window->Session().IsHandOff(site.Host(catalogue))) << catalogue;
  }
  EXPECT_FALSE(window->Session().IsHandOff(site.Host("c:\\datos\\clientes.mdb")));
  EXPECT_FALSE(window->Session().IsHandOff(site.Host("c:\\prog\\modelos\\clientes.mdb")));
  EXPECT_TRUE(window->Log().Failures().empty());
}

}  // namespace
}  // namespace actualiz::app
