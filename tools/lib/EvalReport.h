#pragma once

#include "EvalCapture.h"
#include "EvalMetrics.h"
#include "EvalOptions.h"
#include "EvalRun.h"
#include "EvalStageTime.h"

#include <cstdio>
#include <string>
#include <vector>

// The figures of one evaluation run: a row of error rates per method, the lock-level counts,
// the detection failures per person and the time of every stage, as terminal text and
// Markdown, the ROC points as CSV and the ROC curves as a PNG.
class EvalReport
{
public:
    // `split` names the face set and which of its people were used.
    EvalReport(std::string split, const std::vector<EvalPerson>& people, const EvalOptions& options);

    void setCaptureTimes(const EvalStageTime& detect, const EvalStageTime& sample);
    // Requires: the result has genuine and impostor scores.
    // Throws:   std::invalid_argument otherwise.
    void add(const EvalMethodResult& result);
    // A line printed under the figures (what was skipped, how trials were subsampled).
    void note(const std::string& line);

    // Ensures: the whole report as text.
    void print(std::FILE* out) const;
    // Ensures: the method table, the lock level and the timings as Markdown.
    std::string markdown() const;

    // Throws: std::runtime_error("cannot write <path>") when a file cannot be written.
    void writeRocCsv(const std::string& path) const;
    void writePeopleCsv(const std::string& path) const;
    void writeRocPng(const std::string& path) const;

private:
    struct Row
    {
        EvalMethodResult result;
        EvalMetrics metrics;
    };

    std::string coverage() const;
    std::string tableRow(const Row& row, bool markdown) const;
    std::vector<std::string> lockLines() const;
    std::vector<std::string> timingLines() const;
    std::string failureLine() const;

    std::string split;
    const std::vector<EvalPerson>& people;
    EvalOptions options;
    EvalStageTime detectTime;
    EvalStageTime sampleTime;
    std::vector<Row> rows;
    std::vector<std::string> notes;
};
