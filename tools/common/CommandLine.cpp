#include "CommandLine.h"

#include <sstream>
#include <stdexcept>

CommandLine::CommandLine(int argc, const char* const* argv, const std::set<std::string>& flags)
{
    for (int k = 1; k < argc; ++k) {
        const std::string word = argv[k];
        if (word.rfind("--", 0) != 0) {
            positional.push_back(word);
            continue;
        }
        std::string name = word.substr(2);
        const auto equals = name.find('=');
        if (equals != std::string::npos) {
            options[name.substr(0, equals)] = name.substr(equals + 1);
        } else if (flags.count(name) != 0) {
            options[name] = "1";
        } else {
            if (k + 1 >= argc)
                throw std::invalid_argument("missing value for --" + name);
            options[name] = argv[++k];
        }
    }
}

bool CommandLine::has(const std::string& name) const
{
    return options.count(name) != 0;
}

std::string CommandLine::text(const std::string& name, const std::string& fallback) const
{
    const auto found = options.find(name);
    return found == options.end() ? fallback : found->second;
}

double CommandLine::number(const std::string& name, double fallback) const
{
    const auto found = options.find(name);
    if (found == options.end())
        return fallback;
    std::istringstream in(found->second);
    double value = 0.0;
    in >> value;
    if (!in || !in.eof())
        throw std::invalid_argument("--" + name + " needs a number");
    return value;
}

std::vector<std::string> CommandLine::list(const std::string& name) const
{
    std::vector<std::string> items;
    std::istringstream in(text(name));
    std::string item;
    while (std::getline(in, item, ','))
        if (!item.empty())
            items.push_back(item);
    return items;
}

std::string CommandLine::required(const std::string& name) const
{
    const std::string value = text(name);
    if (value.empty())
        throw std::invalid_argument("--" + name + " is required");
    return value;
}

void CommandLine::allowOnly(const std::set<std::string>& known) const
{
    for (const auto& option : options)
        if (known.count(option.first) == 0)
            throw std::invalid_argument("unknown option --" + option.first);
}
