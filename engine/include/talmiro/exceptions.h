// Errors of the engine. Every error carries exactly the text the user sees.
#pragma once

#include <stdexcept>
#include <string>

namespace talmiro {

// The general exception: the base of every error the system raises.
class Exception : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// A violation of the interchange syntax.
class EEdiSyntaxError : public Exception {
public:
    using Exception::Exception;
};

// A segment text that does not carry the expected tag, or a tag without a definition.
class EInvalidSegment : public Exception {
public:
    EInvalidSegment(const std::string& message, std::string expect = {}, std::string found = {})
        : Exception(message), Expect(std::move(expect)), Found(std::move(found)) {}
    std::string Expect; // at most 10 characters
    std::string Found;  // at most 10 characters
};

// Look-up of an absent element by identifier.
class EListError : public Exception {
public:
    using Exception::Exception;
};

// A value of a kind that cannot be formatted.
class EVariantError : public Exception {
public:
    using Exception::Exception;
};

// A value of the wrong type, or the end of the data, in a compiled table.
class EReadError : public Exception {
public:
    using Exception::Exception;
};

// A file that cannot be opened ("Datei %s kann nicht geöffnet werden").
class EFOpenError : public Exception {
public:
    using Exception::Exception;
};

// A file that cannot be created for writing ("Datei %s kann nicht erstellt werden").
class EFCreateError : public Exception {
public:
    using Exception::Exception;
};

// An input/output error of the file layer that carries an operating-system error code.
class EInOutError : public Exception {
public:
    EInOutError(const std::string& message, int errorCode) : Exception(message), ErrorCode(errorCode) {}
    int ErrorCode;
};

} // namespace talmiro
