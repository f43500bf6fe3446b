#pragma once

#include <stdexcept>
#include <string>

namespace velmora {

// Errors with fixed, user-visible texts. The message is exactly what the user
// is shown; callers never decorate it.
class Error : public std::runtime_error {
public:
    explicit Error(const std::string& message)
        : std::runtime_error(message)
    {
    }
};

// A programming error in the image engine (a bitmap of the wrong format
// reaching an operation whose callers always convert first).
class AssertionFailure : public Error {
public:
    explicit AssertionFailure(const std::string& unit)
        : Error("Assertion failure (" + unit + ")")
    {
    }
};

} // namespace velmora
