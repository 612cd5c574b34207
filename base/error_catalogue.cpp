#include "base/error_catalogue.h"

#include <algorithm>
#include <utility>

#include "base/error.h"

namespace actualiz {

namespace {

constexpr std::string_view kBlank = "{}";

// The texts are the system's own messages, shown to operators and written in
// reports: a change of one is a change of every output that names it.
constexpr CatalogueEntry kCatalogue[] = {
    // Control and program failures.
    {err::kTypeMismatch, "Type mismatch"},
    {err::kInternalError, "Internal error"},
    {err::kFileNotFoundOs, "File not found"},
    {err::kFileAlreadyExists, "File already exists"},
    {err::kDeviceUnavailable, "Device unavailable"},
    {err::kPermissionDenied, "Permission denied"},
    {err::kPathNotFound, "Path not found"},
    {err::kObjectNotSet, "Object variable or With block variable not set"},
    {err::kNoSuchControlElement, "Control array element '{}' doesn't exist"},
    {err::kInvalidPropertyValue, "Invalid property value"},
    {err::kInvalidPropertyIndex, "Invalid property array index"},
    {err::kPropertyReadOnly, "Property is read-only"},
    {err::kObjectRequired, "Object required"},
    {err::kNoSuchMember, "Object doesn't support this property or method"},
    // The engine's failures.
    {err::kReservedError, "Reserved error"},
    {err::kInvalidArgument, "Invalid argument."},
    {err::kTableExists, "Table '{}' already exists."},
    {err::kObjectExists, "Object '{}' already exists."},
    {err::kUpdateWithoutEdit, "Update or CancelUpdate without AddNew or Edit."},
    {err::kNoCurrentRecord, "No current record."},
    {err::kDuplicateValues,
     "The changes you requested to the table were not successful because they would create "
     "duplicate values in the index, primary key, or relationship. Change the data in the field "
     "or fields that contain duplicate data, remove the index, or redefine the index to permit "
     "duplicate entries and try again."},
    {err::kFileNotFound, "Could not find file '{}'."},
    {err::kReadOnly, "Cannot update. Database or object is read-only."},
    // The second blank says how the password protects the file.
    {err::kNotValidPassword,
     "Not a valid password. The Access file '{}' {}; remove the password in Access, then open "
     "the file again."},
    {err::kInvalidPath,
     "'{}' is not a valid path. Make sure that the path name is spelled correctly and that you "
     "are connected to the server on which the file resides."},
    {err::kFileInUse, "Could not use '{}'; file already in use (locked by another process)."},
    {err::kCannotOpen,
     "Cannot open database '{}'. It may not be a database that your application recognizes, or "
     "the file may be corrupt."},
    {err::kSyntaxErrorInQuery, "Syntax error in query expression '{}'."},
    {err::kInputTableNotFound,
     "The database engine cannot find the input table or query '{}'. Make sure it exists and "
     "that its name is spelled correctly."},
    {err::kInvalidName,
     "'{}' isn't a valid name. Make sure that it doesn't include invalid characters or "
     "punctuation and that it isn't too long."},
    {err::kInvalidSqlStatement,
     "Invalid SQL statement; expected 'DELETE', 'INSERT', 'PROCEDURE', 'SELECT', or 'UPDATE'."},
    {err::kSyntaxErrorInFrom, "Syntax error in FROM clause."},
    {err::kCharactersAfterEnd, "Characters found after end of SQL statement."},
    // The blank names the server and database; the context says what failed.
    {err::kConnectionFailed, "ODBC--connection to '{}' failed."},
    {err::kFieldTooSmall,
     "The field is too small to accept the amount of data you attempted to add. Try inserting or "
     "pasting less data."},
    {err::kRecordIsDeleted, "Record is deleted."},
    {err::kNoUniqueIndex, "No unique index found for the referenced field of the primary table."},
    {err::kFieldDefinedTwice, "Cannot define field more than once."},
    {err::kRecordIsReferenced,
     "The record cannot be deleted or changed because table '{}' includes related records."},
    {err::kRelatedRecordRequired,
     "You cannot add or change a record because a related record is required in table '{}'."},
    {err::kDatabaseExists, "Database already exists."},
    {err::kInvalidOperation, "Invalid operation."},
    {err::kInvalidFieldType, "Invalid field data type."},
    // The blank names the run that holds the lock.
    {err::kLockedByOtherUser, "Couldn't update; currently locked by {}"},
    {err::kNoFieldDefined, "No field defined--cannot append TableDef or Index."},
    {err::kItemNotFound, "Item not found in this collection."},
    {err::kFieldInIndex,
     "Cannot delete a field that is part of an index or is needed by the system relationships."},
    {err::kPrimaryKeyExists, "Primary key already exists."},
    {err::kIndexExists, "Index already exists."},
    {err::kTableInRelation,
     "Cannot delete or change table '{}'. It is participating in one or more relationships."},
    {err::kRequiredNull,
     "The field '{}' cannot contain a Null value because the Required property for this field is "
     "set to True. Enter a value in this field."},
    {err::kZeroLengthString, "Field '{}' cannot be a zero-length string."},
    {err::kUnrecognizedFormat, "Unrecognized database format '{}'."},
    {err::kNoFieldsInRelation, "Cannot append a relation with no fields defined."},
    {err::kNameTakenInCollection,
     "Cannot append. An object with that name already exists in the collection."},
    {err::kRelationFieldMismatch,
     "Relationship must be on the same number of fields with the same data types."},
    {err::kTableNotFound, "Table '{}' doesn't exist."},
    {err::kDataBreaksRelation,
     "Cannot create this relationship and enforce referential integrity: data in table '{}' "
     "violates referential integrity rules."},
    {err::kObjectInvalid, "Object invalid or no longer set."},
    {err::kTypeConversion, "Data type conversion error."},
};

}  // namespace

std::span<const CatalogueEntry> ErrorCatalogue() { return kCatalogue; }

int BlankCount(std::string_view text) {
  int count = 0;
  for (size_t at = text.find(kBlank); at != std::string_view::npos;
       at = text.find(kBlank, at + kBlank.size())) {
    ++count;
  }
  return count;
}

std::string ErrorText(int number, std::initializer_list<std::string_view> blanks) {
  const auto entry = std::find_if(std::begin(kCatalogue), std::end(kCatalogue),
                                  [&](const CatalogueEntry& e) { return e.number == number; });
  if (entry == std::end(kCatalogue)) return {};
  std::string text;
  std::string_view rest = entry->text;
  for (std::string_view blank : blanks) {
    const size_t at = rest.find(kBlank);
    if (at == std::string_view::npos) break;
    text.append(rest.substr(0, at));
    text.append(blank);
    rest.remove_prefix(at + kBlank.size());
  }
  text.append(rest);
  return text;
}

Error MakeError(int number, std::string context) {
  return Error(number, ErrorText(number), std::move(context));
}

Error MakeError(int number, std::initializer_list<std::string_view> blanks, std::string context) {
  return Error(number, ErrorText(number, blanks), std::move(context));
}

}  // namespace actualiz
