// Stored queries of an Access file are kept as rows of MSysQueries, one per
// piece (attribute): the kind of query, its parameters, options, tables,
// columns, joins, conditions, grouping and sorting. This file puts the
// pieces back together into the SQL text Access shows for the query.
#include <algorithm>
#include <cctype>
#include <map>

#include "engine/accessfile/jet_catalog.h"

namespace actualiz::engine::jet {

namespace {

enum Attribute {
  kKind = 1,
  kParameter = 2,
  kOptions = 3,
  kRemote = 4,
  kTable = 5,
  kColumn = 6,
  kJoin = 7,
  kWhere = 8,
  kGroupBy = 9,
  kHaving = 10,
  kOrderBy = 11,
};

enum Kind {
  kSelect = 1,
  kMakeTable = 2,
  kAppend = 3,
  kUpdate = 4,
  kDelete = 5,
  kCrosstab = 6,
  kDataDefinition = 7,
  kPassThrough = 8,
  kUnion = 9,
};

// Option bits of the kOptions piece.
constexpr int kDistinct = 0x02;
constexpr int kOwnerAccess = 0x04;
constexpr int kDistinctRow = 0x08;
constexpr int kTop = 0x10;
constexpr int kPercent = 0x20;
constexpr int kUnionDistinct = 0x02;

// Crosstab roles of columns and groupings.
constexpr int kPivot = 1;
constexpr int kRowHeading = 2;

constexpr const char* kNewLine = "\r\n";

std::string Join(const std::vector<std::string>& parts, const std::string& between) {
  std::string out;
  for (const std::string& p : parts) out += (out.empty() ? "" : between) + p;
  return out;
}

// A table or column name as Access writes it: bracketed when it is not a
// plain word.
std::string Name(const std::string& name) {
  const bool plain = !name.empty() && std::all_of(name.begin(), name.end(), [](char c) {
    return std::isalnum(static_cast<unsigned char>(c)) || c == '_' ||
           static_cast<unsigned char>(c) >= 0x80;
  });
  return plain ? name : "[" + name + "]";
}

std::string ParameterType(int flag) {
  static const std::map<int, std::string> names = {
      {1, "Bit"},         {2, "Byte"},       {3, "Short"},    {4, "Long"},    {5, "Currency"},
      {6, "IEEESingle"},  {7, "IEEEDouble"}, {8, "DateTime"}, {9, "Binary"},  {10, "Text ( 255 )"},
      {11, "LongBinary"}, {12, "Memo"},      {15, "Guid"},    {16, "BigInt"}, {20, "Decimal"}};
  auto found = names.find(flag);
  return found == names.end() ? "Value" : found->second;
}

class QueryText {
 public:
  explicit QueryText(std::vector<QueryPiece> pieces) {
    // Pieces of one attribute keep the order their Order column gives.
    std::stable_sort(pieces.begin(), pieces.end(), [](const QueryPiece& a, const QueryPiece& b) {
      if (a.attribute != b.attribute) return a.attribute < b.attribute;
      return a.order < b.order;
    });
    for (QueryPiece& p : pieces) by_attribute_[p.attribute].push_back(std::move(p));
  }

  std::string Sql() const {
    const QueryPiece* kind = First(kKind);
    if (!kind) return {};
    switch (kind->flag) {
      case kDataDefinition:
      case kPassThrough:
        return TrimEnd(kind->expression);
      case kUnion:
        return Parameters() + Union() + ";";
      case kMakeTable:
        return Parameters() + SelectClause(Columns(0, false)) + " INTO " + Target(*kind) +
               Remainder() + ";";
      case kAppend:
        return Parameters() + "INSERT INTO " + Target(*kind) + AppendColumns() + kNewLine +
               SelectClause(Columns(0, false)) + Remainder() + ";";
      case kUpdate:
        return Parameters() + "UPDATE " + From() + " SET " + Assignments() +
               Conditions(kWhere, "WHERE") + ";";
      case kDelete:
        return Parameters() + "DELETE " + Join(Columns(0, false), ", ") + Remainder() + ";";
      case kCrosstab:
        return Parameters() + "TRANSFORM " + Join(Columns(0, true), ", ") + kNewLine +
               SelectClause(Columns(kRowHeading, true)) + Remainder() + kNewLine + "PIVOT " +
               Pivot() + ";";
      default:
        return Parameters() + SelectClause(Columns(0, false)) + Remainder() + ";";
    }
  }

 private:
  const std::vector<QueryPiece>& All(int attribute) const {
    static const std::vector<QueryPiece> none;
    auto found = by_attribute_.find(attribute);
    return found == by_attribute_.end() ? none : found->second;
  }
  const QueryPiece* First(int attribute) const {
    const auto& all = All(attribute);
    return all.empty() ? nullptr : &all.front();
  }
  int Options() const {
    const QueryPiece* options = First(kOptions);
    return options ? options->flag : 0;
  }
  bool Crosstab() const {
    const QueryPiece* kind = First(kKind);
    return kind && kind->flag == kCrosstab;
  }

  static std::string TrimEnd(std::string text) {
    // Stored statements may end with spaces, line ends and a closing zero.
    while (!text.empty() &&
           (text.back() == '\0' || std::isspace(static_cast<unsigned char>(text.back())))) {
      text.pop_back();
    }
    return text;
  }

  std::string Parameters() const {
    std::vector<std::string> list;
    for (const QueryPiece& p : All(kParameter))
      list.push_back("[" + p.name1 + "] " + ParameterType(p.flag));
    return list.empty() ? "" : "PARAMETERS " + Join(list, ", ") + ";" + kNewLine;
  }

  // The target table of a make-table or append query, with its database.
  std::string Target(const QueryPiece& kind) const {
    std::string target = Name(kind.name1);
    if (!kind.name2.empty()) target += " IN '" + kind.name2 + "'";
    return target;
  }

  // Output columns: in a crosstab, those of `role` (0: the transformed value).
  std::vector<std::string> Columns(int role, bool by_role) const {
    std::vector<std::string> list;
    for (const QueryPiece& p : All(kColumn)) {
      if (by_role && p.flag != role) continue;
      std::string column = p.expression;
      if (!p.name1.empty() && First(kKind)->flag != kAppend) column += " AS " + Name(p.name1);
      list.push_back(column);
    }
    return list;
  }

  std::string AppendColumns() const {
    std::vector<std::string> targets;
    for (const QueryPiece& p : All(kColumn)) {
      const std::string& target = !p.name2.empty() ? p.name2 : p.name1;
      if (!target.empty()) targets.push_back(target);
    }
    return targets.empty() ? "" : " ( " + Join(targets, ", ") + " )";
  }

  std::string Assignments() const {
    std::vector<std::string> list;
    for (const QueryPiece& p : All(kColumn)) list.push_back(p.name2 + " = " + p.expression);
    return Join(list, ", ");
  }

  std::string SelectClause(const std::vector<std::string>& columns) const {
    std::string select = "SELECT ";
    const int options = Options();
    if (options & kDistinct) select += "DISTINCT ";
    if (options & kDistinctRow) select += "DISTINCTROW ";
    if (options & kTop) {
      const QueryPiece* o = First(kOptions);
      select += "TOP " + o->name1 + ((options & kPercent) ? " PERCENT " : " ");
    }
    return select + (columns.empty() ? "*" : Join(columns, ", "));
  }

  // FROM, WHERE, GROUP BY, HAVING and ORDER BY, each on its own line.
  std::string Remainder() const {
    std::string out;
    const std::string from = From();
    if (!from.empty()) out += std::string(kNewLine) + "FROM " + from;
    const QueryPiece* remote = First(kRemote);
    if (remote && !remote->name1.empty()) out += " IN '" + remote->name1 + "'";
    out += Conditions(kWhere, "WHERE");
    std::vector<std::string> groups;
    for (const QueryPiece& p : All(kGroupBy)) {
      if (!Crosstab() || p.flag != kPivot) groups.push_back(p.expression);
    }
    if (!groups.empty()) out += std::string(kNewLine) + "GROUP BY " + Join(groups, ", ");
    out += Conditions(kHaving, "HAVING");
    std::vector<std::string> orders;
    for (const QueryPiece& p : All(kOrderBy)) {
      orders.push_back(p.expression + (p.name1 == "D" || p.name1 == "d" ? " DESC" : ""));
    }
    if (!orders.empty()) out += std::string(kNewLine) + "ORDER BY " + Join(orders, ", ");
    if (Options() & kOwnerAccess) out += std::string(kNewLine) + "WITH OWNERACCESS OPTION";
    return out;
  }

  std::string Conditions(int attribute, const char* keyword) const {
    const QueryPiece* p = First(attribute);
    if (!p || p->expression.empty()) return {};
    return std::string(kNewLine) + keyword + " " + p->expression;
  }

  std::string Pivot() const {
    for (const QueryPiece& p : All(kColumn)) {
      if (p.flag == kPivot) return p.expression;
    }
    return {};
  }

  // The tables and their joins. Joins between the same two tables are one
  // join on all their conditions, the last stored first; each join takes in the joined groups of
  // both its tables, and groups that join nothing are listed with commas.
  std::string From() const {
    struct Group {
      std::vector<std::string> names;  // tables and aliases in it
      std::string text;
      bool joined = false;
    };
    std::vector<Group> groups;
    for (const QueryPiece& t : All(kTable)) {
      if (t.name1.empty() && t.expression.empty()) continue;
      Group g;
      g.names.push_back(t.name2.empty() ? t.name1 : t.name2);
      g.text = t.expression.empty() ? Name(t.name1) : "(" + TrimEnd(t.expression) + ")";
      if (!t.name2.empty()) g.text += " AS " + Name(t.name2);
      groups.push_back(std::move(g));
    }
    struct JoinOf {
      std::string left, right;
      int kind = 1;
      std::vector<std::string> conditions;
    };
    std::vector<JoinOf> joins;
    for (const QueryPiece& j : All(kJoin)) {
      auto same = std::find_if(joins.begin(), joins.end(), [&](const JoinOf& o) {
        return o.left == j.name1 && o.right == j.name2;
      });
      if (same == joins.end()) {
        joins.push_back({j.name1, j.name2, j.flag, {j.expression}});
      } else {
        // Access puts each further condition of a join before the ones
        // stored ahead of it.
        same->conditions.insert(same->conditions.begin(), j.expression);
      }
    }
    auto group_of = [&](const std::string& name) -> std::ptrdiff_t {
      for (std::size_t i = 0; i < groups.size(); ++i) {
        for (const std::string& n : groups[i].names) {
          if (n == name) return static_cast<std::ptrdiff_t>(i);
        }
      }
      return -1;
    };
    for (const JoinOf& j : joins) {
      const std::ptrdiff_t l = group_of(j.left);
      const std::ptrdiff_t r = group_of(j.right);
      if (l < 0 || r < 0 || l == r) continue;
      std::string on;
      if (j.conditions.size() == 1) {
        on = j.conditions.front();
      } else {
        std::vector<std::string> each;
        for (const std::string& c : j.conditions) each.push_back("(" + c + ")");
        on = Join(each, " AND ");
      }
      const char* type = j.kind == 2   ? " LEFT JOIN "
                         : j.kind == 3 ? " RIGHT JOIN "
                                       : " INNER JOIN ";
      auto side = [](const Group& g) { return g.joined ? "(" + g.text + ")" : g.text; };
      Group& keep = groups[static_cast<std::size_t>(std::min(l, r))];
      Group& gone = groups[static_cast<std::size_t>(std::max(l, r))];
      const std::string text = side(groups[static_cast<std::size_t>(l)]) + type +
                               side(groups[static_cast<std::size_t>(r)]) + " ON " + on;
      keep.names.insert(keep.names.end(), gone.names.begin(), gone.names.end());
      keep.text = text;
      keep.joined = true;
      groups.erase(groups.begin() + std::max(l, r));
    }
    std::vector<std::string> list;
    for (const Group& g : groups) list.push_back(g.text);
    return Join(list, ", ");
  }

  std::string Union() const {
    std::vector<std::string> parts;
    for (const QueryPiece& t : All(kTable)) {
      if (!t.expression.empty()) parts.push_back(TrimEnd(t.expression));
    }
    const std::string op = (Options() & kUnionDistinct) ? "UNION" : "UNION ALL";
    return Join(parts, std::string(kNewLine) + op + " ");
  }

  std::map<int, std::vector<QueryPiece>> by_attribute_;
};

}  // namespace

std::string QuerySql(std::vector<QueryPiece> pieces) { return QueryText(std::move(pieces)).Sql(); }

}  // namespace actualiz::engine::jet
