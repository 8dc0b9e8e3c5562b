// The exception family's destructors (their key functions, so each class's
// type information lives once, in this library) and the core descriptions.
// The conversion errors describe themselves beside their error-code texts
// (string_errors.cpp, time.cpp).
#include <pal/exception.h>
#include <pal/msgcatalog.h>

#include <sstream>

namespace PAL {

Exception::~Exception() = default;
UseCountIsZero::~UseCountIsZero() = default;
AssertFailure::~AssertFailure() = default;
AppError::~AppError() = default;
WindowsError::~WindowsError() = default;
StrErrorBase::~StrErrorBase() = default;
StrDecodeError::~StrDecodeError() = default;
StrCodeCvtError::~StrCodeCvtError() = default;
DateTimeCvtError::~DateTimeCvtError() = default;

std::wstring UseCountIsZero::description() const {
    return L"PAL::UseCountIsZero";
}

std::wstring AssertFailure::description() const {
    return L"Assert Failure: " + text;
}

std::wstring AppError::description() const {
    std::wostringstream out;
    out.imbue(std::locale::classic());
    out << L"Application Error 0x" << std::hex << message.id;
    return out.str();
}

namespace {

// The process-wide catalog of system texts: made on the first description of
// a WindowsError, destroyed at exit. It has no name, so it loads no file.
MsgCatalog& system_catalog() {
    static MsgCatalog catalog(L"");
    return catalog;
}

} // namespace

std::wstring WindowsError::description() const {
    try {
        return system_catalog().message_text(code);
    } catch (const Exception&) {
        // The catalog could not be made (its lock, for one): describing an
        // error must not raise one of its own. The next description retries.
        std::wostringstream out;
        out.imbue(std::locale::classic());
        out << L"Message 0x" << std::hex << code << L" not found in the catalog.";
        return out.str();
    }
}

} // namespace PAL
