#include "CheckAnswer.h"

namespace {
// A caller (a login) reads one short line; it never carries a score, a margin or an image.
constexpr std::size_t kMaxLineBytes = 200;
}  // namespace

void cannotRun(const QString& message)
{
    throw CannotRun(message.toStdString());
}

std::string answerLine(const std::string& text)
{
    std::string line;
    for (const char c : text.substr(0, kMaxLineBytes))
        line += c >= ' ' && c <= '~' ? c : '?';
    return line;
}
