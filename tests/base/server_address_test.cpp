#include "base/server_address.h"

#include <gtest/gtest.h>

#include "base/error.h"

namespace actualiz {
namespace {

TEST(ServerAddress, ParsesLocationsAndCustomerDatabases) {
  struct Case {
    const char* text;
    const char* user;
    const char* host;
    const char* port;
    const char* database;
    const char* schema;
    const char* conninfo;
  };
  const Case cases[] = {
      {"postgresql://ana@db.example:5433/datos", "ana", "db.example", "5433", "datos", "",
       "host='db.example' port='5433' user='ana' dbname='datos'"},
      {"postgres:///datos", "", "", "", "datos", "", "dbname='datos'"},
      {"PostgreSQL://u@/datos/Clientes.MDB?host=/run/pg%20x", "u", "/run/pg x", "", "datos",
       "Clientes", "host='/run/pg x' user='u' dbname='datos'"},
      {"postgresql://[::1]:5432/d/a%2Fb.mdb", "", "::1", "5432", "d", "a/b",
       "host='::1' port='5432' dbname='d'"},
      // Nothing in a part can add a setting of its own to the connection.
      {"postgresql://x'%20sslmode=disable@h/d%27%5C?application_name=a%27b", "x' sslmode=disable",
       "h", "", "d'\\", "",
       "application_name='a\\'b' host='h' user='x\\' sslmode=disable' dbname='d\\'\\\\'"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    const std::optional<ServerAddress> a = ParseServerAddress(c.text);
    ASSERT_TRUE(a);
    EXPECT_EQ(a->user, c.user);
    EXPECT_EQ(a->host, c.host);
    EXPECT_EQ(a->port, c.port);
    EXPECT_EQ(a->database, c.database);
    EXPECT_EQ(a->schema, c.schema);
    EXPECT_EQ(a->ConnInfo(), c.conninfo);
    // The display form reads back as the same address.
    const std::optional<ServerAddress> again = ParseServerAddress(a->Display());
    ASSERT_TRUE(again) << a->Display();
    EXPECT_EQ(again->ConnInfo(), a->ConnInfo());
    EXPECT_EQ(again->schema, a->schema);
  }
  EXPECT_FALSE(ParseServerAddress("c:\\datos\\clientes.mdb"));
  EXPECT_FALSE(IsServerAddress("/srv/postgresql://x"));
}

TEST(ServerAddress, JoinsALocationAndADatabaseName) {
  EXPECT_EQ(ServerDatabasePath("postgresql://u@/datos?host=/tmp/s", "Clientes.mdb"),
            "postgresql://u@/datos/Clientes.mdb?host=/tmp/s");
  EXPECT_EQ(ServerDatabasePath("postgres://h:1/d", "a b.MDB"), "postgresql://h:1/d/a%20b.mdb");
}

TEST(ServerAddress, RefusesMalformedAddressesAndPasswords) {
  const char* refused[] = {
      "postgresql://h/",                     // no database
      "postgresql://h:port/d",               // port not a number
      "postgresql://h/d/clientes",           // not NAME.mdb
      "postgresql://h/d/x/y.mdb",            // too deep
      "postgresql://h/d%4",                  // bad escape
      "postgresql://h/d?sslmode",            // parameter without '='
      "postgresql://u:secreto@h/d",          // password in the user part
      "postgresql://u:secreto@/d?host=/s",   // the same before parameters
      "postgresql://u@h/d?password=secreto"  // password as a parameter
  };
  for (const char* text : refused) {
    SCOPED_TRACE(text);
    try {
      ParseServerAddress(text);
      ADD_FAILURE() << "accepted";
    } catch (const Error& e) {
      EXPECT_EQ(e.Number(), err::kInvalidPath);
      if (std::string(text).find("?host") != std::string::npos) {
        EXPECT_NE(e.Context().find("'postgresql://u@/d?host=/s'"), std::string::npos)
            << e.Context();
      }
      // A refused password is never repeated in the message.
      EXPECT_EQ(std::string(e.what()).find("secreto"), std::string::npos) << e.what();
      EXPECT_EQ(e.Context().find("secreto"), std::string::npos) << e.Context();
    }
  }
  EXPECT_THROW(ServerDatabasePath("postgresql://h/d/a.mdb", "b.mdb"), Error);
  EXPECT_THROW(ServerDatabasePath("postgresql://h/d", "b.txt"), Error);
}

}  // namespace
}  // namespace actualiz
