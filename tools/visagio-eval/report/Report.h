#pragma once

#include "Capture.h"
#include "EmbeddingStage.h"
#include "Options.h"
#include "report/Metrics.h"
#include "TrialProtocol.h"
#include "StageTime.h"

#include <cstdio>
#include <string>
#include <vector>

namespace eval {

// The figures of one evaluation run: a row of error rates per method, the lock-level counts,
// the detection failures per person and the time of every stage, as terminal text and
// Markdown, the ROC points as CSV and the ROC curves as a PNG.
class Report
{
public:
    // `split` names the face set and which of its people were used.
    Report(std::string split, const std::vector<Person>& people, const Options& options);

    void setCaptureTimes(const StageTime& detect, const StageTime& sample);
    // The face-resnet's stages, shown when the capture computed embeddings.
    void setEmbeddingStats(const EmbeddingStats& stats);
    // The face-resnet's stage figures as lines of text (none when nothing was embedded).
    static std::vector<std::string> embeddingLines(const EmbeddingStats& stats);
    // Requires: the result has genuine and impostor scores.
    // Throws:   std::invalid_argument otherwise.
    void add(const MethodResult& result);
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
        MethodResult result;
        Metrics metrics;
    };

    std::string coverage() const;
    std::string tableRow(const Row& row, bool markdown) const;
    std::vector<std::string> lockLines() const;
    std::vector<std::string> timingLines() const;
    std::string failureLine() const;

    std::string split;
    const std::vector<Person>& people;
    Options options;
    StageTime detectTime;
    StageTime sampleTime;
    EmbeddingStats embedStats;
    std::vector<Row> rows;
    std::vector<std::string> notes;
};

} // namespace eval
