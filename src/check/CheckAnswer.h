#pragma once

#include "CheckOptions.h"

#include <QString>

#include <stdexcept>
#include <string>

// The one line visagio-check prints and the status it ends with.
struct CheckAnswer
{
    CheckStatus status = kCannotRun;
    std::string line;
};

// Why a check cannot run at all (exit status 3): the message names the file or folder at fault
// and what to do.
class CannotRun : public std::runtime_error
{
public:
    explicit CannotRun(const std::string& what) : std::runtime_error(what) {}
};

// Throws: CannotRun with `message`.
[[noreturn]] void cannotRun(const QString& message);

// Ensures: `text` made fit for the answer line: every byte outside printable ASCII becomes '?'
//          (paths may hold anything), and the whole line is cut to at most 200 bytes.
std::string answerLine(const std::string& text);
