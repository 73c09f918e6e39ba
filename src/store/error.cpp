#include "store/error.h"

#include <new>

namespace quorvel::err {

std::u16string Describe(long number) {
    switch (number) {
        case kOverflow:
            return u"Overflow";
        case kTypeMismatch:
            return u"Type mismatch";
        case kInvalidProcedureCall:
            return u"Invalid procedure call or argument";
        case kObjectNotSet:
            return u"Object variable or With block variable not set";
        case kInvalidUseOfNull:
            return u"Invalid use of Null";
        case kItemNotFound:
            return u"Item cannot be found in the collection corresponding to the requested name "
                   u"or ordinal.";
        case kNoCurrentRecord:
            return u"Either BOF or EOF is True, or the current record has been deleted. Requested "
                   u"operation requires a current record.";
        case kObjectClosed:
            return u"Operation is not allowed when the object is closed.";
        case kConnectionInvalid:
            return u"The connection cannot be used to perform this operation. It is either closed "
                   u"or invalid in this context.";
        case kProviderNotFound:
            return u"Provider cannot be found. It may not be properly installed.";
        case kAlreadyOpen:
            return u"Operation is not allowed when the object is open.";
        case kTimeout:
            return u"Query timeout expired";
        default:
            return u"Unspecified error";
    }
}

void Raise(long number) {
    throw DbError(number, Describe(number));
}

}  // namespace quorvel::err

namespace quorvel {
std::u16string DescribeCurrentException() noexcept {
    try {
        throw;
    } catch (const DbError& e) {
        return e.Description();
    } catch (const std::bad_alloc&) {
        return u"Out of memory";
    } catch (const std::exception& e) {
        try {
            return FromUtf8(e.what());
        } catch (...) {
            return u"Out of memory";
        }
    } catch (...) {
        return u"Unspecified error";
    }
}
}  // namespace quorvel
