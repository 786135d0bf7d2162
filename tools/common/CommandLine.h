#pragma once

#include <map>
#include <set>
#include <string>
#include <vector>

// The command line of a tool: positional words and "--name value" options ("--name=value"
// too); names listed as flags take no value.
class CommandLine
{
public:
    // Throws: std::invalid_argument("missing value for --name") when a value is missing.
    CommandLine(int argc, const char* const* argv, const std::set<std::string>& flags = {"help"});

    bool has(const std::string& name) const;
    // The option's value, or `fallback` when absent.
    std::string text(const std::string& name, const std::string& fallback = std::string()) const;
    // Throws: std::invalid_argument("--name is required") when the option is absent or empty.
    std::string required(const std::string& name) const;
    // Throws: std::invalid_argument("--name needs a number") for a value that is no number.
    double number(const std::string& name, double fallback) const;
    // A comma-separated list ("a,b,c"); empty when the option is absent.
    std::vector<std::string> list(const std::string& name) const;
    const std::vector<std::string>& words() const { return positional; }

    // Throws: std::invalid_argument("unknown option --x") for an option not in `known`.
    void allowOnly(const std::set<std::string>& known) const;

private:
    std::map<std::string, std::string> options;
    std::vector<std::string> positional;
};
