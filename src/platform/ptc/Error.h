#pragma once
// The console library's errors: an Error carries one message and can be reported to the user;
// DynamicError is the exception that carries it (the image library's only failure channel).

#include <stdexcept>
#include <string>

namespace ptc {

class Error {
public:
    explicit Error(std::string message) : text(std::move(message)) {}

    const std::string& message() const { return text; }

    // Shows the message to the user (on standard error).
    void report() const;

private:
    std::string text;
};

class DynamicError : public std::runtime_error {
public:
    explicit DynamicError(const std::string& message) : std::runtime_error(message) {}
    explicit DynamicError(const Error& error) : std::runtime_error(error.message()) {}

    Error error() const { return Error(what()); }
};

} // namespace ptc
