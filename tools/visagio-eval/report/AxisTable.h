#pragma once

#include "TrialProtocol.h"

#include <string>
#include <vector>

namespace eval {

// The figures of an evaluation axis as one Markdown table: a row a (condition, method) with
// its pooled per-face EER, FAR and FRR at the method's own threshold (when it has one), and,
// for methods replayed through the lock, the owner and stranger sequences that open it.
class AxisTable
{
public:
    void add(const std::string& condition, const MethodResult& result);
    std::string markdown() const;

    // Prints `text` to standard output and writes it to outDir/fileName.
    // Throws: std::runtime_error("cannot write <path>").
    static void publish(const std::string& text, const std::string& outDir, const std::string& fileName);

    // "3 of 18 (16.7 %)" and "12.34 %", as every axis table writes them.
    static std::string share(long part, long whole);
    static std::string percent(double value);

private:
    struct Row
    {
        std::string condition;
        MethodResult result;
    };
    std::vector<Row> rows;
};

} // namespace eval
