// Failures of the engine, the platform and the window's controls.
//
// Every failure is a C++ exception carrying a number and a text, raised at
// the failing call. Numbers are Jet's where the engine fails (3265 "Item not
// found in this collection.") and the windowing system's where a control
// fails (380 "Invalid property value"). The text is the message as the
// operator sees it; `Context()` names the object and the file concerned.
#pragma once

#include <initializer_list>
#include <stdexcept>
#include <string>
#include <string_view>

namespace actualiz {

class Error : public std::runtime_error {
 public:
  // `text` is the message proper; `context` names what and where (may be empty).
  Error(int number, std::string text, std::string context = {});

  int Number() const { return number_; }
  const std::string& Text() const { return text_; }
  const std::string& Context() const { return context_; }

 private:
  int number_;
  std::string text_;
  std::string context_;
};

// Error numbers raised by this system. Engine numbers follow Jet; each has
// its one text in the catalogue (base/error_catalogue.cpp).
namespace err {
inline constexpr int kReservedError = 3000;
inline constexpr int kInvalidArgument = 3001;
inline constexpr int kTableExists = 3010;
inline constexpr int kObjectExists = 3012;
inline constexpr int kUpdateWithoutEdit = 3020;
inline constexpr int kNoCurrentRecord = 3021;
inline constexpr int kDuplicateValues = 3022;
inline constexpr int kFileNotFound = 3024;
inline constexpr int kReadOnly = 3027;
inline constexpr int kNotValidPassword = 3031;
inline constexpr int kInvalidPath = 3044;
inline constexpr int kFileInUse = 3045;
inline constexpr int kCannotOpen = 3049;
inline constexpr int kCouldNotLock = 3050;
inline constexpr int kSyntaxErrorInQuery = 3075;
inline constexpr int kInputTableNotFound = 3078;
inline constexpr int kInvalidName = 3125;
inline constexpr int kInvalidSqlStatement = 3129;
inline constexpr int kSyntaxErrorInFrom = 3131;
inline constexpr int kCharactersAfterEnd = 3142;
inline constexpr int kConnectionFailed = 3151;
inline constexpr int kFieldTooSmall = 3163;
inline constexpr int kRecordIsDeleted = 3167;
inline constexpr int kNoUniqueIndex = 3173;
inline constexpr int kFieldDefinedTwice = 3191;
inline constexpr int kRecordIsReferenced = 3200;
inline constexpr int kRelatedRecordRequired = 3201;
inline constexpr int kDatabaseExists = 3204;
inline constexpr int kInvalidOperation = 3219;
inline constexpr int kInvalidFieldType = 3259;
inline constexpr int kLockedByOtherUser = 3260;
inline constexpr int kNoFieldDefined = 3264;
inline constexpr int kItemNotFound = 3265;
inline constexpr int kFieldInIndex = 3280;
inline constexpr int kPrimaryKeyExists = 3283;
inline constexpr int kIndexExists = 3284;
inline constexpr int kTableInRelation = 3303;
inline constexpr int kRequiredNull = 3314;
inline constexpr int kZeroLengthString = 3315;
inline constexpr int kUnrecognizedFormat = 3343;
inline constexpr int kNoFieldsInRelation = 3366;
inline constexpr int kNameTakenInCollection = 3367;
inline constexpr int kRelationFieldMismatch = 3368;
inline constexpr int kTableNotFound = 3376;
inline constexpr int kDataBreaksRelation = 3379;
inline constexpr int kObjectInvalid = 3420;
inline constexpr int kTypeConversion = 3421;
// Control and program failures, as the windowing system numbers them.
inline constexpr int kTypeMismatch = 13;
inline constexpr int kInternalError = 51;
inline constexpr int kFileNotFoundOs = 53;
inline constexpr int kFileAlreadyExists = 58;
inline constexpr int kDeviceUnavailable = 68;
inline constexpr int kPermissionDenied = 70;
inline constexpr int kPathNotFound = 76;
inline constexpr int kObjectNotSet = 91;
inline constexpr int kNoSuchControlElement = 340;
inline constexpr int kInvalidPropertyValue = 380;
inline constexpr int kInvalidPropertyIndex = 381;
inline constexpr int kPropertyReadOnly = 383;
inline constexpr int kObjectRequired = 424;
inline constexpr int kNoSuchMember = 438;
}  // namespace err

// The catalogue's text for `number`, its blanks ("{}") filled in order by
// `blanks`; "" for a number the catalogue does not hold. A blank left without
// a value stays "{}" (the catalogue test holds every factory to its blanks).
std::string ErrorText(int number, std::initializer_list<std::string_view> blanks = {});

// The error `number` with its catalogue text and `context` (what and where).
Error MakeError(int number, std::string context = {});
// The same for a text with blanks: "Table '{}' already exists." and {"Stock"}.
Error MakeError(int number, std::initializer_list<std::string_view> blanks, std::string context);

}  // namespace actualiz
