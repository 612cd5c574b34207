#include "engine/jet_catalog.h"

namespace actualiz::engine::jet {

std::string QuerySql(std::vector<QueryPiece> pieces) {
  std::string out;
  for (const QueryPiece& p : pieces) {
    out += std::to_string(p.attribute) + "|" + p.expression + "|" + std::to_string(p.flag) + "|" +
           p.name1 + "|" + p.name2 + "|";
    for (auto b : p.order) out += std::to_string(b) + ",";
    out += "\n";
  }
  return out;
}

}  // namespace actualiz::engine::jet
