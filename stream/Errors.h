#pragma once

#include <string>

// The error tree of the storage layer and of model loading. It stands apart from the standard
// exception classes on purpose: catch these by their own types (e_default catches them all).
// Each error carries a human-readable message and nothing else; throw by value.
//
//   e_default
//   +-- e_logic            misuse of an object or a bad value supplied by the program
//   |   +-- e_logic_range      an index or position outside the valid range
//   |   +-- e_logic_state      an operation called in a state that does not allow it
//   |   +-- e_logic_argument   an argument or loaded content that does not fit
//   +-- e_failure          a failure of the environment (files, devices)
//       +-- e_failure_open     a resource failed to open or to be positioned
//       +-- e_failure_read     reading failed or ended early
//       +-- e_failure_write    writing or flushing failed

class e_default
{
public:
    explicit e_default(const std::string& message)
    {
        text = message;
    }

    // Ensures: returns a copy of the message; changing it leaves the error unchanged.
    virtual std::string message() const
    {
        return text;
    }

private:
    std::string text;
};

class e_logic : public e_default
{
public:
    explicit e_logic(const std::string& message) : e_default(message) {}
};

class e_logic_range : public e_logic
{
public:
    explicit e_logic_range(const std::string& message) : e_logic(message) {}
};

class e_logic_state : public e_logic
{
public:
    explicit e_logic_state(const std::string& message) : e_logic(message) {}
};

class e_logic_argument : public e_logic
{
public:
    explicit e_logic_argument(const std::string& message) : e_logic(message) {}
};

class e_failure : public e_default
{
public:
    explicit e_failure(const std::string& message) : e_default(message) {}
};

class e_failure_open : public e_failure
{
public:
    explicit e_failure_open(const std::string& message) : e_failure(message) {}
};

class e_failure_read : public e_failure
{
public:
    explicit e_failure_read(const std::string& message) : e_failure(message) {}
};

class e_failure_write : public e_failure
{
public:
    explicit e_failure_write(const std::string& message) : e_failure(message) {}
};
