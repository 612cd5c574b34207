#include "tests/support/pg_server.h"

#include <libpq-fe.h>
#include <pwd.h>
#include <signal.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <stdexcept>

#include "tests/support/program_run.h"

namespace actualiz::testing {

namespace {

constexpr const char* kServerPrograms = "/usr/lib/postgresql/15/bin/";

// `argv` as it is run: as "nobody" when `as_nobody`.
Words AsServerUser(bool as_nobody, Words argv) {
  if (!as_nobody) return argv;
  return Joined({"/usr/bin/setpriv", "--reuid=nobody", "--regid=nogroup", "--clear-groups", "--"},
                argv);
}

void RunOrThrow(const Words& argv, const std::string& what) {
  const ProgramRun run = RunProgram(argv, ProgramSetting().Together());
  if (run.status != 0) throw std::runtime_error(what + " failed: " + run.out);
}

}  // namespace

PgServer& PgServer::Get() {
  // Destroyed at the program's end, which stops the server.
  static PgServer server;
  return server;
}

PgServer::PgServer() {
  std::string pattern = (std::filesystem::temp_directory_path() / "actualiz-pg-XXXXXX").string();
  if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("no temporary directory");
  root_ = pattern;
  socket_dir_ = root_;
  data_dir_ = root_ + "/data";
  as_nobody_ = geteuid() == 0;
  if (as_nobody_) {
    const passwd* nobody = getpwnam("nobody");
    if (nobody == nullptr || chown(root_.c_str(), nobody->pw_uid, nobody->pw_gid) != 0) {
      throw std::runtime_error("cannot hand " + root_ + " to nobody");
    }
  }
  const std::string bin = kServerPrograms;
  RunOrThrow(AsServerUser(as_nobody_, {bin + "initdb", "-D", data_dir_, "--auth=trust", "-U",
                                       "actualiz", "-E", "UTF8", "--locale=C.UTF-8", "--no-sync"}),
             "initdb");
  RunOrThrow(
      AsServerUser(as_nobody_, {bin + "pg_ctl", "-D", data_dir_, "-l", root_ + "/log", "-w", "-o",
                                "-k " + socket_dir_ +
                                    " -c listen_addresses='' -c fsync=off"
                                    " -c full_page_writes=off",
                                "start"}),
      "pg_ctl start");
}

PgServer::~PgServer() {
  const ProgramRun stop =
      RunProgram(AsServerUser(as_nobody_, {std::string(kServerPrograms) + "pg_ctl", "-D", data_dir_,
                                           "-m", "immediate", "-w", "stop"}),
                 ProgramSetting().Together());
  if (stop.status != 0) {
    // The server's own pid file names its main process: end it at once.
    std::ifstream pid_file(data_dir_ + "/postmaster.pid");
    pid_t pid = 0;
    if (pid_file >> pid && pid > 0) kill(pid, SIGQUIT);
  }
  std::error_code ignored;
  std::filesystem::remove_all(root_, ignored);
}

int PgServer::ServerProcess() const {
  std::ifstream pid_file(data_dir_ + "/postmaster.pid");
  int pid = 0;
  pid_file >> pid;
  return pid;
}

std::string PgServer::ConnInfo(const std::string& database) const {
  return "host='" + socket_dir_ + "' user=actualiz dbname='" + database + "'";
}

void PgServer::Run(const std::string& database, const std::string& sql) const {
  std::unique_ptr<PGconn, decltype(&PQfinish)> conn(PQconnectdb(ConnInfo(database).c_str()),
                                                    &PQfinish);
  if (PQstatus(conn.get()) != CONNECTION_OK) {
    throw std::runtime_error(std::string("connecting: ") + PQerrorMessage(conn.get()));
  }
  std::unique_ptr<PGresult, decltype(&PQclear)> result(PQexec(conn.get(), sql.c_str()), &PQclear);
  const ExecStatusType status = PQresultStatus(result.get());
  if (status != PGRES_COMMAND_OK && status != PGRES_TUPLES_OK) {
    throw std::runtime_error(sql + ": " + PQerrorMessage(conn.get()));
  }
}

std::string PgServer::FreshDatabase() {
  const std::string name = "t_" + std::to_string(next_database_++);
  Run("postgres", "CREATE DATABASE " + name);
  return "postgresql://actualiz@/" + name + "?host=" + socket_dir_;
}

}  // namespace actualiz::testing
