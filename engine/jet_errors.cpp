#include "engine/jet_errors.h"

#include "engine/field_types.h"

namespace actualiz::engine::text {

namespace {
std::string Q(std::string_view s) { return "'" + std::string(s) + "'"; }
}  // namespace

std::string TableExists(std::string_view table) { return "Table " + Q(table) + " already exists."; }
std::string ObjectExists(std::string_view name) { return "Object " + Q(name) + " already exists."; }
std::string TableNotFound(std::string_view table) {
  return "Table " + Q(table) + " doesn't exist.";
}
std::string InputTableNotFound(std::string_view name) {
  return "The database engine cannot find the input table or query " + Q(name) +
         ". Make sure it exists and that its name is spelled correctly.";
}
std::string InvalidName(std::string_view name) {
  return Q(name) +
         " isn't a valid name. Make sure that it doesn't include invalid characters or "
         "punctuation and that it isn't too long.";
}
std::string ZeroLength(std::string_view field) {
  return "Field " + Q(field) + " cannot be a zero-length string.";
}
std::string RequiredNull(std::string_view field) {
  return "The field " + Q(field) +
         " cannot contain a Null value because the Required property for this field is set to "
         "True. Enter a value in this field.";
}
std::string RelatedRecordRequired(std::string_view table) {
  return "You cannot add or change a record because a related record is required in table " +
         Q(table) + ".";
}
std::string RecordIsReferenced(std::string_view table) {
  return "The record cannot be deleted or changed because table " + Q(table) +
         " includes related records.";
}
std::string DataBreaksRelation(std::string_view table) {
  return "Cannot create this relationship and enforce referential integrity: data in table " +
         Q(table) + " violates referential integrity rules.";
}
std::string TableInRelation(std::string_view table) {
  return "Cannot delete or change table " + Q(table) +
         ". It is participating in one or more relationships.";
}
std::string FileNotFound(std::string_view file) { return "Could not find file " + Q(file) + "."; }
std::string InvalidPath(std::string_view path) {
  return Q(path) +
         " is not a valid path. Make sure that the path name is spelled correctly and that you "
         "are connected to the server on which the file resides.";
}
std::string FileInUse(std::string_view file) {
  return "Could not use " + Q(file) + "; file already in use (locked by another process).";
}
std::string UnrecognizedFormat(std::string_view file) {
  return "Unrecognized database format " + Q(file) + ".";
}
std::string CannotOpen(std::string_view file) {
  return "Cannot open database " + Q(file) +
         ". It may not be a database that your application recognizes, or the file may be "
         "corrupt.";
}
std::string SyntaxErrorInQuery(std::string_view expression) {
  return "Syntax error in query expression " + Q(expression) + ".";
}
std::string NotValidPassword(std::string_view file, bool encrypted) {
  return "Not a valid password. The Access file " + Q(file) +
         (encrypted ? " is encrypted with a password" : " is protected by a database password") +
         "; remove the password in Access, then open the file again.";
}

}  // namespace actualiz::engine::text

namespace actualiz::engine {

void CheckObjectName(std::string_view name, const std::string& context) {
  bool valid = !name.empty() && CharacterCount(name) <= 64 && name.front() != ' ';
  for (char c : name) {
    if (static_cast<unsigned char>(c) < 0x20) valid = false;
  }
  if (!valid) throw Error(jet::kInvalidName, text::InvalidName(name), context);
}

}  // namespace actualiz::engine
