#pragma once

#include <exception>
#include <functional>
#include <string>
#include <type_traits>

// The message of the `Error` that `action` throws (what() of a standard exception, message()
// of the project's own errors), or "<no error>": a test checks class and message together.
template <typename Error>
std::string messageOf(const std::function<void()>& action)
{
    try {
        action();
    } catch (const Error& error) {
        if constexpr (std::is_base_of_v<std::exception, Error>)
            return error.what();
        else
            return error.message();
    }
    return "<no error>";
}
