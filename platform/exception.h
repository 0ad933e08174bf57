// The program's one error type: a failure that carries a message for the user.
#pragma once

#include <exception>
#include <string>

class Exception : public std::exception {
public:
    explicit Exception(std::string message) : message(std::move(message)) {}
    const char* what() const noexcept override { return message.c_str(); }

    std::string message;
};

// The message of the exception being handled; call it only inside a catch block. Errors that
// are not this program's own still get a text to show.
inline std::string currentExceptionMessage() {
    try {
        throw;
    } catch (const Exception& e) {
        return e.message;
    } catch (const std::exception& e) {
        return e.what();
    } catch (...) {
        return "Unexpected error";
    }
}
