// The engine's failure texts, and helpers that raise them with a context.
//
// Numbers are in base/error.h; texts are the engine's own wording of each
// failure. A text with a '<...>' part is built by the function beside it.
#pragma once

#include <string>
#include <string_view>

#include "base/error.h"

namespace actualiz::engine::text {

inline constexpr const char* kItemNotFound = "Item not found in this collection.";
inline constexpr const char* kObjectExists =
    "Cannot append. An object with that name already exists in the collection.";
inline constexpr const char* kNoCurrentRecord = "No current record.";
inline constexpr const char* kDuplicateValues =
    "The changes you requested to the table were not successful because they would create "
    "duplicate values in the index, primary key, or relationship. Change the data in the field "
    "or fields that contain duplicate data, remove the index, or redefine the index to permit "
    "duplicate entries and try again.";
inline constexpr const char* kReadOnly = "Cannot update. Database or object is read-only.";
inline constexpr const char* kInvalidOperation = "Invalid operation.";
inline constexpr const char* kInvalidFieldType = "Invalid field data type.";
inline constexpr const char* kNoFieldDefined = "No field defined--cannot append TableDef or Index.";
inline constexpr const char* kFieldDefinedTwice = "Cannot define field more than once.";
inline constexpr const char* kIndexExists = "Index already exists.";
inline constexpr const char* kPrimaryKeyExists = "Primary key already exists.";
inline constexpr const char* kFieldTooSmall =
    "The field is too small to accept the amount of data you attempted to add. Try inserting or "
    "pasting less data.";
inline constexpr const char* kTypeConversion = "Data type conversion error.";
inline constexpr const char* kObjectInvalid = "Object invalid or no longer set.";
inline constexpr const char* kNoFieldsInRelation =
    "Cannot append a relation with no fields defined.";
inline constexpr const char* kRelationFieldMismatch =
    "Relationship must be on the same number of fields with the same data types.";
inline constexpr const char* kUpdateWithoutEdit = "Update or CancelUpdate without AddNew or Edit.";
inline constexpr const char* kSyntaxErrorInFrom = "Syntax error in FROM clause.";
inline constexpr const char* kInvalidSqlStatement =
    "Invalid SQL statement; expected 'DELETE', 'INSERT', 'PROCEDURE', 'SELECT', or 'UPDATE'.";
inline constexpr const char* kCharactersAfterEnd = "Characters found after end of SQL statement.";
inline constexpr const char* kDatabaseExists = "Database already exists.";
inline constexpr const char* kFieldInIndex =
    "Cannot delete a field that is part of an index or is needed by the system relationships.";

std::string TableExists(std::string_view table);
std::string ObjectExists(std::string_view name);
std::string TableNotFound(std::string_view table);
std::string InputTableNotFound(std::string_view name);
std::string InvalidName(std::string_view name);
std::string ZeroLength(std::string_view field);
std::string RequiredNull(std::string_view field);
std::string RelatedRecordRequired(std::string_view table);
std::string RecordIsReferenced(std::string_view table);
std::string DataBreaksRelation(std::string_view table);
std::string TableInRelation(std::string_view table);
std::string FileNotFound(std::string_view file);
std::string InvalidPath(std::string_view path);
std::string FileInUse(std::string_view file);
std::string UnrecognizedFormat(std::string_view file);
std::string CannotOpen(std::string_view file);
std::string SyntaxErrorInQuery(std::string_view expression);
// An Access file protected by a database password (`encrypted` when the
// password also encrypts its pages).
std::string NotValidPassword(std::string_view file, bool encrypted);

}  // namespace actualiz::engine::text

namespace actualiz::engine {

// Extra numbers the engine raises that base/error.h does not name.
namespace jet {
inline constexpr int kUpdateWithoutEdit = 3020;
inline constexpr int kNotValidPassword = 3031;
inline constexpr int kInvalidName = 3125;
inline constexpr int kCharactersAfterEnd = 3142;
inline constexpr int kPrimaryKeyExists = 3283;
inline constexpr int kFieldInIndex = 3280;
inline constexpr int kTableInRelation = 3303;
inline constexpr int kRequiredNull = 3314;
}  // namespace jet

// Fails with 3125 unless `name` is a name Jet accepts for an object: 1 to 64
// characters, no control characters, not starting with a space.
void CheckObjectName(std::string_view name, const std::string& context);

}  // namespace actualiz::engine
