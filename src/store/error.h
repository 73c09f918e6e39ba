// Failures inside the core travel as DbError: a number and the description the data-access
// layer (or the language runtime) gives, which is what the message boxes show.
#pragma once

#include <exception>
#include <string>

#include "store/text.h"

namespace quorvel {

class DbError : public std::exception {
  public:
    DbError(long number, std::u16string description)
        : number_(number), description_(std::move(description)), utf8_(ToUtf8(description_)) {}
    long Number() const noexcept { return number_; }
    const std::u16string& Description() const noexcept { return description_; }
    const char* what() const noexcept override { return utf8_.c_str(); }

  private:
    long number_;
    std::u16string description_;
    std::string utf8_;
};

// Runtime error numbers and descriptions as the host's language reports them.
namespace err {
inline constexpr long kOverflow = 6;
inline constexpr long kTypeMismatch = 13;
inline constexpr long kInvalidProcedureCall = 5;
inline constexpr long kObjectNotSet = 91;
inline constexpr long kInvalidUseOfNull = 94;
// Data-access layer errors.
inline constexpr long kItemNotFound = 3265;
inline constexpr long kNoCurrentRecord = 3021;
inline constexpr long kObjectClosed = 3704;
inline constexpr long kConnectionInvalid = 3709;
inline constexpr long kProviderNotFound = 3706;
inline constexpr long kAlreadyOpen = 3705;
inline constexpr long kProviderError = -2147467259;  // E_FAIL, what providers raise
// A statement's wait for a lock (or its run) outlasted the command timeout. The description stays
// the driver's own; the number lets a caller tell this failure from the others.
inline constexpr long kTimeout = -2147217871;

[[noreturn]] void Raise(long number);  // with the standard description of that number
std::u16string Describe(long number);
}  // namespace err

}  // namespace quorvel

namespace quorvel {
// Inside a catch block: the description of the exception being handled, whatever its type.
std::u16string DescribeCurrentException() noexcept;
}  // namespace quorvel
