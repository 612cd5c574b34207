// The database engine: DAO-style objects over database files.
//
// Callers see Jet's object model: a Database holds live collections of
// TableDefs, Relations and QueryDefs; a TableDef holds Fields and Indexes; a
// Recordset walks the rows of a table or of "Select * from <table> [where
// ...]". Every failure raises actualiz::Error with Jet's number and text, and
// a context naming the object and the file.
//
// Objects are handed out as shared pointers. Objects taken from a live
// collection describe what is stored; objects made by a Create* call are new
// and stored only when appended (a named QueryDef is stored at once).
// Appends and deletes change the file at once, each one atomically.
//
// Names of tables, fields, indexes, relations and queries are compared
// without regard to case, as Jet does. Collections keep the engine's order:
// the order in which objects were stored (fields: the table's column order).
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "engine/session.h"
#include "engine/value.h"

namespace actualiz::engine {

// Jet's field type codes.
enum FieldType : std::int16_t {
  dbBoolean = 1,
  dbByte = 2,
  dbInteger = 3,
  dbLong = 4,
  dbCurrency = 5,
  dbSingle = 6,
  dbDouble = 7,
  dbDate = 8,
  dbText = 10,
  dbLongBinary = 11,
  dbMemo = 12,
  dbGUID = 15,
  dbBigInt = 16,
};

// Jet's relation attribute bits.
enum RelationAttribute : std::int32_t {
  dbRelationUnique = 1,
  dbRelationDontEnforce = 2,
  dbRelationUpdateCascade = 256,
  dbRelationDeleteCascade = 4096,
  dbRelationLeft = 16777216,
  dbRelationRight = 33554432,
};

class Field;
class Index;
class TableDef;
class Relation;
class QueryDef;
class Recordset;
class Database;
using FieldPtr = std::shared_ptr<Field>;
using IndexPtr = std::shared_ptr<Index>;
using TableDefPtr = std::shared_ptr<TableDef>;
using RelationPtr = std::shared_ptr<Relation>;
using QueryDefPtr = std::shared_ptr<QueryDef>;
using RecordsetPtr = std::shared_ptr<Recordset>;
using DatabasePtr = std::shared_ptr<Database>;

// A DAO collection. Positions count from 0. Lookups by name ignore case.
template <class T>
class Collection {
 public:
  using Ptr = std::shared_ptr<T>;
  virtual ~Collection() = default;

  virtual int Count() const = 0;
  // 3265 "Item not found in this collection." when there is no such item.
  virtual Ptr Item(int position) const = 0;
  virtual Ptr Item(std::string_view name) const = 0;
  // Stores `object` (see each owner for what is checked). Fails with Jet's
  // number; the stored database is unchanged on failure.
  virtual void Append(const Ptr& object) = 0;
  // Removes the item of that name; 3265 when there is none.
  virtual void Delete(std::string_view name) = 0;

  // A snapshot of the items, in the engine's order, for range-for.
  std::vector<Ptr> Items() const {
    std::vector<Ptr> out;
    const int n = Count();
    out.reserve(static_cast<size_t>(n));
    for (int i = 0; i < n; ++i) out.push_back(Item(i));
    return out;
  }
};

// A field of a table, of an index, of a relation or of a record set.
class Field {
 public:
  virtual ~Field() = default;
  virtual std::string Name() const = 0;
  virtual std::int16_t Type() const = 0;  // a FieldType code
  // Jet's reported size: Text its declared length, Long 4, Double 8, Date 8,
  // Memo and Long binary 0, ...
  virtual std::int32_t Size() const = 0;
  virtual bool AllowZeroLength() const = 0;
  virtual bool Required() const = 0;
  // The matching field of the foreign table (relation fields only; "" else).
  virtual std::string ForeignName() const = 0;

  // Settable on a field that is not yet appended; 3219 otherwise.
  virtual void SetAllowZeroLength(bool value) = 0;
  virtual void SetRequired(bool value) = 0;
  virtual void SetForeignName(std::string_view name) = 0;

  // Record set fields only: the current row's value (3021 without a current
  // row, 3167 when another handle deleted it). SetValue is allowed after
  // AddNew or Edit (3020 otherwise) and converts to the field's type (3421
  // when it cannot or the value does not fit); "" sets Null on a field that
  // is not Text, Memo or Long binary, as a bound box left empty does.
  virtual Value GetValue() const = 0;
  virtual void SetValue(const Value& value) = 0;
};

class Index {
 public:
  virtual ~Index() = default;
  virtual std::string Name() const = 0;
  virtual bool Unique() const = 0;
  virtual bool Primary() const = 0;
  // Fields in key order. Append allowed only before the index is appended.
  virtual Collection<Field>& Fields() = 0;
  virtual FieldPtr CreateField(std::string_view name) = 0;
  virtual void SetUnique(bool value) = 0;   // 3219 once appended
  virtual void SetPrimary(bool value) = 0;  // 3219 once appended
};

class TableDef {
 public:
  virtual ~TableDef() = default;
  virtual std::string Name() const = 0;
  // False for a database that can only be read, and for the engine's own tables.
  virtual bool Updatable() const = 0;
  // On a stored table, Fields.Append adds the column at once (3191 when the
  // name exists) and Fields.Delete removes it.
  virtual Collection<Field>& Fields() = 0;
  // Indexes.Append: 3284 when the table has an index of that name, 3264 when
  // the index has no field, 3265 when a field does not exist, 3022 when a
  // unique index meets duplicate data.
  virtual Collection<Index>& Indexes() = 0;
  // A new field, not yet attached. 3259 for an unknown type code; the size
  // matters only for Text (1-255); fixed-size types report their own size.
  virtual FieldPtr CreateField(std::string_view name, int type, int size = 0) = 0;
  virtual IndexPtr CreateIndex(std::string_view name) = 0;
};

class Relation {
 public:
  virtual ~Relation() = default;
  virtual std::string Name() const = 0;
  virtual std::string Table() const = 0;         // the primary (referenced) table
  virtual std::string ForeignTable() const = 0;  // the referencing table
  virtual std::int32_t Attributes() const = 0;
  // Field pairs: Name on Table, ForeignName on ForeignTable.
  virtual Collection<Field>& Fields() = 0;
  virtual FieldPtr CreateField(std::string_view name) = 0;
};

class QueryDef {
 public:
  virtual ~QueryDef() = default;
  virtual std::string Name() const = 0;
  virtual std::string SQL() const = 0;
};

// A dynaset over a table or over "Select * from <table> [where <condition>]".
// The set of rows is fixed when it opens (rows added through it join at its
// end); values are read from the file on demand. It holds no lock between
// calls.
class Recordset {
 public:
  virtual ~Recordset() = default;
  // EOF and BOF are macros in C, so the flags are Eof() and Bof(). Both are
  // true on an empty set.
  virtual bool Eof() const = 0;
  virtual bool Bof() const = 0;
  virtual int RecordCount() const = 0;
  // Moves fail with 3021 "No current record." where Jet's do (an empty set,
  // MoveNext at EOF, MovePrevious at BOF).
  virtual void MoveFirst() = 0;
  virtual void MoveNext() = 0;
  virtual void MovePrevious() = 0;
  virtual void MoveLast() = 0;
  // AddNew starts a new row, Edit edits the current one; Update stores it
  // (checking zero-length, length, required, unique and relation rules) and
  // CancelUpdate drops it. After adding, the current row is the one that
  // was current before AddNew.
  virtual void AddNew() = 0;
  virtual void Edit() = 0;
  virtual void Update() = 0;
  virtual void CancelUpdate() = 0;
  // Deletes the current row; no row is current until the next move.
  virtual void Delete() = 0;
  virtual Collection<Field>& Fields() = 0;
  virtual void Close() = 0;
  // Called after every change of the current row (moves, Delete, AddNew,
  // Update), so that bound controls can follow.
  virtual void SetMoveListener(std::function<void()> listener) = 0;
};

class Database {
 public:
  virtual ~Database() = default;
  // The path the database was opened with.
  virtual std::string Name() const = 0;
  virtual bool ReadOnly() const = 0;
  // TableDefs.Append stores a new table with all its fields (3264 without
  // fields, 3191 with a field twice, 3010 when the name exists).
  virtual Collection<TableDef>& TableDefs() = 0;
  // Relations.Append checks both tables and every field, repeated pairs,
  // the name (3012), and unless not enforced that the data obeys it.
  virtual Collection<Relation>& Relations() = 0;
  // QueryDefs.Append of the very definition CreateQueryDef stored does
  // nothing; of another definition under a stored name fails (3012).
  virtual Collection<QueryDef>& QueryDefs() = 0;

  virtual TableDefPtr CreateTableDef(std::string_view name) = 0;
  // `attributes` as decimal text, as the relation catalogue carries it.
  virtual RelationPtr CreateRelation(std::string_view name, std::string_view table,
                                     std::string_view foreign_table,
                                     std::string_view attributes) = 0;
  virtual RelationPtr CreateRelation(std::string_view name, std::string_view table,
                                     std::string_view foreign_table, std::int32_t attributes) = 0;
  // A named definition is checked and stored at once: 3012 when the name is
  // taken, a syntax error number when the statement does not compile.
  virtual QueryDefPtr CreateQueryDef(std::string_view name, std::string_view sql) = 0;
  // `source` is a table name or "Select * from <table> [where ...]".
  virtual RecordsetPtr OpenRecordset(std::string_view source) = 0;
  // Releases the file. Later calls on the database fail with 3420.
  virtual void Close() = 0;
};

// Opens an existing database file in `session` (session.h), which picks
// the storage and keeps what the opens share. `name` is what
// Database::Name() reports (the path as the caller wrote it; the host path
// when empty). Fails with 3024 when the file is missing (it is never
// created), 3343 when it is not a database the engine reads (a directory,
// an empty or foreign file, a damaged one). A read-only file opens; its
// tables are then not updatable.
DatabasePtr OpenDatabase(Session& session, const std::string& host_path,
                         const std::string& name = {});

// Creates a new, empty database file with the engine's own tables, in
// `session`. 3204 "Database already exists." when the file exists.
DatabasePtr CreateDatabase(Session& session, const std::string& host_path,
                           const std::string& name = {});

// The customer databases of a data directory on a server (a location,
// base/server_address.h) as file names, "NAME.mdb" for schema NAME, sorted
// as a directory listing sorts names (folded to upper case). 3044 when
// `location` is not a server location, 3151 when the server cannot be
// reached or refuses.
std::vector<std::string> ListServerDatabases(const std::string& location);

}  // namespace actualiz::engine
