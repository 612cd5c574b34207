#include "tests/support/pg_server.h"

#include <gtest/gtest.h>

namespace actualiz::testing {
namespace {

TEST(PgServer, GivesEachTestAnEmptyDatabaseOfItsOwn) {
  PgServer& server = PgServer::Get();
  const std::string a = server.FreshDatabase();
  const std::string b = server.FreshDatabase();
  EXPECT_NE(a, b);
  EXPECT_NE(a.find("?host=" + server.SocketDirectory()), std::string::npos);
  server.Run("t_1", "CREATE TABLE x (y integer)");
  EXPECT_NO_THROW(server.Run("t_2", "CREATE TABLE x (y integer)"));
}

}  // namespace
}  // namespace actualiz::testing
