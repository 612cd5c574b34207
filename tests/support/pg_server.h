// A PostgreSQL server of the test program's own: started on first use from
// the installed server's programs, in a fresh temporary directory with its
// socket there and no TCP port, trusting the local user "actualiz"; stopped
// (and its directory removed) when the program ends. No test talks to a
// server it did not start this way.
//
// The server refuses to run as the superuser, so when the tests run as root
// (CI) initdb and pg_ctl run as "nobody", who owns the directory.
#pragma once

#include <string>

namespace actualiz::testing {

class PgServer {
 public:
  // The program's server, started on the first call. Fails the calling
  // test (a gtest fatal failure is not possible here: it throws) when the
  // server cannot be started.
  static PgServer& Get();
  ~PgServer();
  PgServer(const PgServer&) = delete;
  PgServer& operator=(const PgServer&) = delete;

  // The directory that holds the server's socket.
  const std::string& SocketDirectory() const { return socket_dir_; }
  // The server's main process (its children serve the connections).
  int ServerProcess() const;
  // A libpq connection string for database `database` as the test user.
  std::string ConnInfo(const std::string& database) const;
  // Makes a new empty database ("t_1", "t_2", ...) and returns its URL:
  // "postgresql://actualiz@/t_N?host=<socket directory>".
  std::string FreshDatabase();
  // Runs `sql` in database `database`; throws with the server's message on
  // failure.
  void Run(const std::string& database, const std::string& sql) const;

 private:
  PgServer();
  std::string root_;        // the temporary directory, removed at the end
  std::string socket_dir_;  // root_ itself
  std::string data_dir_;
  bool as_nobody_ = false;
  int next_database_ = 1;
};

}  // namespace actualiz::testing
