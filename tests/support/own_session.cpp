#include "tests/support/own_session.h"

namespace actualiz::testing {

engine::DatabasePtr OpenInOwnSession(const std::string& host_path, const std::string& name) {
  engine::Session session;
  return engine::OpenDatabase(session, host_path, name);
}

engine::DatabasePtr CreateInOwnSession(const std::string& host_path, const std::string& name) {
  engine::Session session;
  return engine::CreateDatabase(session, host_path, name);
}

}  // namespace actualiz::testing
