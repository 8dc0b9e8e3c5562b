// The exception family of the platform layer and of everything built on it.
//
// Every failure is an object of a class rooted at PAL::Exception, thrown by
// value and caught by reference. The family is deliberately not derived from
// std::exception: a handler that means "any failure of ours" catches
// PAL::Exception. Each object records the short name of the source that
// raised it and the line, and describes itself as a wide string.
//
// Host and plug-ins share these classes, so names, bases, field order and the
// order of the virtual operations (destructor, then description) are fixed.
#pragma once

#include <pal/api.h>
#include <pal/message.h>

#include <cstdint>
#include <string>
#include <utility>

namespace PAL {

class PAL_API Exception {
public:
    Exception(unsigned int at_line, const char* in_file) : line(at_line), file(in_file) {}
    Exception(const Exception&) = default;
    Exception& operator=(const Exception&) = default;
    virtual ~Exception();
    virtual std::wstring description() const = 0;

    std::uint32_t line;
    const char* file; // static text, the raiser's short source name
};

// Raised by a shared pointer whose object is already gone.
class PAL_API UseCountIsZero : public Exception {
public:
    UseCountIsZero(unsigned int at_line, const char* in_file) : Exception(at_line, in_file) {}
    ~UseCountIsZero() override;
    std::wstring description() const override;
};

// A broken internal promise. Assertions are active in every build.
class PAL_API AssertFailure : public Exception {
public:
    AssertFailure(const wchar_t* failed, unsigned int at_line, const char* in_file)
        : Exception(at_line, in_file), text(failed ? failed : L"") {}
    ~AssertFailure() override;
    std::wstring description() const override;

    std::wstring text;
};

// A failure the host must act on: a status code and a catalog message.
class PAL_API AppError : public Exception {
public:
    AppError(std::uint32_t status, const Message& what, unsigned int at_line, const char* in_file)
        : Exception(at_line, in_file), code(status), message(what) {}
    ~AppError() override;
    std::wstring description() const override;

    std::uint32_t code;
    Message message;
};

// An operating-system failure carrying the system's error number.
class PAL_API WindowsError : public Exception {
public:
    WindowsError(std::uint32_t system_code, unsigned int at_line, const char* in_file)
        : Exception(at_line, in_file), code(system_code) {}
    ~WindowsError() override;
    std::wstring description() const override;

    std::uint32_t code;
};

// Base of the conversion failures: where in the input it went wrong.
class PAL_API StrErrorBase : public Exception {
public:
    StrErrorBase(unsigned int at_line, const char* in_file)
        : Exception(at_line, in_file), offset(0), has_offset(false) {}
    StrErrorBase(std::uint32_t at_offset, unsigned int at_line, const char* in_file)
        : Exception(at_line, in_file), offset(at_offset), has_offset(true) {}
    ~StrErrorBase() override;

    std::uint32_t offset;
    bool has_offset;
};

// Base64 decoding failure; `error` is a DecodeErrorCode (pal/string.h).
class PAL_API StrDecodeError : public StrErrorBase {
public:
    StrDecodeError(std::int32_t error_code, std::uint32_t at_offset, unsigned int at_line,
                   const char* in_file)
        : StrErrorBase(at_offset, at_line, in_file), error(error_code) {}
    ~StrDecodeError() override;
    std::wstring description() const override;

    std::int32_t error;
};

// Code conversion failure; `error` is a CodeCvtErrorCode (pal/string.h).
class PAL_API StrCodeCvtError : public StrErrorBase {
public:
    StrCodeCvtError(std::int32_t error_code, std::uint32_t at_offset, unsigned int at_line,
                    const char* in_file)
        : StrErrorBase(at_offset, at_line, in_file), error(error_code) {}
    ~StrCodeCvtError() override;
    std::wstring description() const override;

    std::int32_t error;
};

// Date/time conversion failure; `error` is a DateTimeCvtErrorCode (pal/time.h).
class PAL_API DateTimeCvtError : public StrErrorBase {
public:
    DateTimeCvtError(std::int32_t error_code, unsigned int at_line, const char* in_file)
        : StrErrorBase(at_line, in_file), error(error_code) {}
    DateTimeCvtError(std::int32_t error_code, std::uint32_t at_offset, unsigned int at_line,
                     const char* in_file)
        : StrErrorBase(at_offset, at_line, in_file), error(error_code) {}
    ~DateTimeCvtError() override;
    std::wstring description() const override;

    std::int32_t error;
};

// The one way to throw: the raiser's short source name and line always travel
// with the exception. Use through PAL_RAISE and PAL_ASSERT.
template <class E, class... Args>
[[noreturn]] inline void raise(const char* file, unsigned int line, Args&&... args) {
    throw E(std::forward<Args>(args)..., line, file);
}

} // namespace PAL

// Each source file that raises names itself once, near its top:
//     namespace { constexpr const char* source_file = "string"; }
#define PAL_RAISE(E, ...)                                                                          \
    ::PAL::raise<E>(source_file, static_cast<unsigned int>(__LINE__) __VA_OPT__(, ) __VA_ARGS__)

// Always active, in every build type.
#define PAL_ASSERT(condition, text)                                                                \
    do {                                                                                           \
        if (!(condition))                                                                          \
            PAL_RAISE(::PAL::AssertFailure, text);                                                 \
    } while (false)
