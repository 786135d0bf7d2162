#include "report/Report.h"

#include "report/RocPlot.h"

#include <algorithm>
#include <cmath>
#include <fstream>
#include <iomanip>
#include <sstream>
#include <stdexcept>

namespace eval {

namespace {
// Operating point of the table's TAR column.
constexpr double kTableFar = 0.01;
constexpr std::size_t kNameWidth = 22;
constexpr std::size_t kCellWidth = 10;

std::string percent(double share, int decimals = 2)
{
    std::ostringstream out;
    out << std::fixed << std::setprecision(decimals) << 100.0 * share << " %";
    return out.str();
}

std::string fixed(double value, int decimals)
{
    std::ostringstream out;
    out << std::fixed << std::setprecision(decimals) << value;
    return out.str();
}

std::string padded(const std::string& text, std::size_t width)
{
    return text.size() >= width ? text : text + std::string(width - text.size(), ' ');
}

std::string leftPadded(const std::string& text, std::size_t width)
{
    return text.size() >= width ? text : std::string(width - text.size(), ' ') + text;
}

std::size_t groupSamples(const Person& person)
{
    std::size_t samples = 0;
    for (const auto& group : person.groups)
        samples += group.size();
    return samples;
}

std::string joined(const std::vector<std::string>& cells, bool markdown)
{
    std::string line = markdown ? "| " : "";
    for (std::size_t k = 0; k < cells.size(); ++k) {
        const std::size_t width = k == 0 ? kNameWidth : kCellWidth;
        line += markdown ? cells[k] + " |" + (k + 1 < cells.size() ? " " : "")
                         : (k == 0 ? padded(cells[k], width) : leftPadded(cells[k], width + 1));
    }
    return line;
}

// Median and quartiles of the frames it took the lock to open.
std::string openingFrames(const std::vector<LockOutcome>& sequences)
{
    std::vector<int> frames;
    for (const LockOutcome& outcome : sequences)
        if (outcome.opened)
            frames.push_back(outcome.openingTick);
    if (frames.empty())
        return "";
    std::sort(frames.begin(), frames.end());
    const auto at = [&](double q) { return frames[static_cast<std::size_t>(q * static_cast<double>(frames.size() - 1))]; };
    std::ostringstream out;
    out << ", after " << at(0.5) << " frames (median; quartiles " << at(0.25) << "-" << at(0.75) << ", range "
        << frames.front() << "-" << frames.back() << ")";
    return out.str();
}

std::string openedShare(const std::vector<LockOutcome>& sequences)
{
    const long opened = LockReplay::openedCount(sequences);
    std::ostringstream out;
    out << opened << " of " << sequences.size();
    if (!sequences.empty())
        out << " (" << percent(static_cast<double>(opened) / static_cast<double>(sequences.size())) << ")";
    return out.str();
}

std::ofstream openOutput(const std::string& path)
{
    std::ofstream out(path);
    if (!out)
        throw std::runtime_error("cannot write " + path);
    out << std::setprecision(9);
    return out;
}
} // namespace

Report::Report(std::string split, const std::vector<Person>& people, const Options& options)
    : split(std::move(split)), people(people), options(options)
{
}

void Report::setCaptureTimes(const StageTime& detect, const StageTime& sample)
{
    detectTime = detect;
    sampleTime = sample;
}

void Report::setEmbeddingStats(const EmbeddingStats& stats)
{
    embedStats = stats;
}

std::vector<std::string> Report::embeddingLines(const EmbeddingStats& stats)
{
    if (stats.chip.calls == 0)
        return {};
    return {"chip (FaceChip, 150 x 150 colour): " + fixed(stats.chip.millisecondsPerCall(), 2) + " ms/face over " +
                std::to_string(stats.chip.calls) + " faces, " + std::to_string(stats.aligned) +
                " of them aligned by the face (the rest by the face box)",
            "embedding (face-resnet, one pass, as verified): " + fixed(stats.single.millisecondsPerCall(), 1) +
                " ms/face over " + std::to_string(stats.single.calls) + " faces",
            "embedding (face-resnet with its mirror image, two passes, as enrolled): " +
                fixed(stats.mirrored.millisecondsPerCall(), 1) + " ms/face over " +
                std::to_string(stats.mirrored.calls) + " faces"};
}

void Report::add(const MethodResult& result)
{
    rows.push_back({result, Metrics(result.genuine, result.impostor)});
}

void Report::note(const std::string& line)
{
    notes.push_back(line);
}

std::string Report::coverage() const
{
    int photos = 0;
    int owners = 0;
    int frames = 0;
    int movedMissed = 0;
    for (const Person& person : people) {
        photos += static_cast<int>(person.photos.size());
        owners += person.owner() ? 1 : 0;
        for (const Photo& photo : person.photos)
            for (std::size_t f = 1; f < photo.frames.size(); ++f, ++frames)
                movedMissed += photo.frames[f].empty() ? 1 : 0;
    }
    std::ostringstream out;
    out << "people " << people.size() << " (" << owners << " enrolled as owners), photographs " << photos;
    if (!rows.empty())
        out << "; trials: genuine " << rows.front().metrics.genuineCount() << ", impostor "
            << rows.front().metrics.impostorCount();
    out << "\nmoved frames of the lock sequences without a face: " << movedMissed << " of " << frames;
    return out.str();
}

std::string Report::tableRow(const Row& row, bool markdown) const
{
    std::vector<std::string> cells = {row.result.name};
    if (row.result.decisionThreshold) {
        cells.push_back(percent(row.metrics.falseAcceptRate(*row.result.decisionThreshold)));
        cells.push_back(percent(row.metrics.falseRejectRate(*row.result.decisionThreshold)));
    } else {
        cells.insert(cells.end(), {"-", "-"});
    }
    cells.push_back(percent(row.metrics.equalErrorRate()));
    cells.push_back(percent(row.metrics.tarAtFar(kTableFar)));
    cells.push_back(fixed(row.metrics.areaUnderCurve(), 4));
    cells.push_back(std::to_string(row.metrics.genuineCount()));
    cells.push_back(std::to_string(row.metrics.impostorCount()));
    return joined(cells, markdown);
}

std::vector<std::string> Report::lockLines() const
{
    std::vector<std::string> lines;
    for (const Row& row : rows) {
        if (!row.result.lockLevel)
            continue;
        lines.push_back(row.result.name + ": owner sequences that open the lock: " +
                        openedShare(row.result.ownerSequences) + openingFrames(row.result.ownerSequences));
        lines.push_back(row.result.name + ": impostor sequences that open the lock: " +
                        openedShare(row.result.impostorSequences) + openingFrames(row.result.impostorSequences));
    }
    return lines;
}

std::vector<std::string> Report::timingLines() const
{
    std::vector<std::string> lines = {
        "detect (FaceDetector, 320 x 240 frame): " + fixed(detectTime.millisecondsPerCall(), 2) + " ms/frame over " +
            std::to_string(detectTime.calls) + " frames",
        "sample (makeSample, 35 x 45 grey): " + fixed(sampleTime.millisecondsPerCall(), 3) + " ms/face over " +
            std::to_string(sampleTime.calls) + " faces"};
    for (const std::string& line : embeddingLines(embedStats))
        lines.push_back(line);
    for (const Row& row : rows)
        lines.push_back(row.result.name + ": enrol " + fixed(row.result.enrolTime.millisecondsPerCall(), 1) +
                        " ms/owner, score " + fixed(row.result.scoreTime.millisecondsPerCall(), 3) + " ms/face over " +
                        std::to_string(row.result.scoreTime.calls) + " faces");
    return lines;
}

std::string Report::failureLine() const
{
    int missed = 0;
    std::string list;
    for (const Person& person : people) {
        if (person.missed() == 0)
            continue;
        missed += person.missed();
        list += (list.empty() ? "" : ", ") + person.name + " " + std::to_string(person.missed()) + "/" +
                std::to_string(person.photos.size());
    }
    return "photographs without a detected face: " + std::to_string(missed) + (list.empty() ? "" : " (" + list + ")");
}

void Report::print(std::FILE* out) const
{
    std::fprintf(out, "\n%s\n%s\n%s\n\n", split.c_str(), coverage().c_str(), failureLine().c_str());
    const std::vector<std::string> header = {"method", "FAR@0.99", "FRR@0.99", "EER", "TAR@FAR1%", "AUC", "genuine",
                                             "impostor"};
    std::fprintf(out, "%s\n", joined(header, false).c_str());
    for (const Row& row : rows)
        std::fprintf(out, "%s\n", tableRow(row, false).c_str());
    std::fprintf(out, "\nlock level (each photograph held for %d frames, sequences of at most %d frames):\n",
                 options.framesPerPhoto, options.maxSequenceFrames);
    for (const std::string& line : lockLines())
        std::fprintf(out, "  %s\n", line.c_str());
    std::fprintf(out, "\ntimings:\n");
    for (const std::string& line : timingLines())
        std::fprintf(out, "  %s\n", line.c_str());
    for (const std::string& line : notes)
        std::fprintf(out, "note: %s\n", line.c_str());
}

std::string Report::markdown() const
{
    std::ostringstream out;
    out << split << "\n\n" << coverage() << "\n\n" << failureLine() << "\n\n";
    out << "| method | FAR at score > 0.99 | FRR at score > 0.99 | EER | TAR at FAR 1 % | AUC | genuine trials | "
           "impostor trials |\n|---|---|---|---|---|---|---|---|\n";
    for (const Row& row : rows)
        out << tableRow(row, true) << "\n";
    out << "\nLock level (each photograph held for " << options.framesPerPhoto << " frames, sequences of at most "
        << options.maxSequenceFrames << " frames):\n\n";
    for (const std::string& line : lockLines())
        out << "- " << line << "\n";
    out << "\nTimings:\n\n";
    for (const std::string& line : timingLines())
        out << "- " << line << "\n";
    for (const std::string& line : notes)
        out << "\nNote: " << line << "\n";
    return out.str();
}

void Report::writeRocCsv(const std::string& path) const
{
    std::ofstream out = openOutput(path);
    out << "method,threshold,far,tar\n";
    for (const Row& row : rows)
        for (const RocPoint& point : row.metrics.roc())
            out << '"' << row.result.name << "\"," << point.threshold << ',' << point.far << ',' << point.tar << '\n';
    if (!out)
        throw std::runtime_error("cannot write " + path);
}

void Report::writePeopleCsv(const std::string& path) const
{
    std::ofstream out = openOutput(path);
    out << "person,photographs,without_face,enrolment_photographs,group_samples,owner\n";
    for (const Person& person : people) {
        const auto enrolment = std::count_if(person.photos.begin(), person.photos.end(),
                                             [](const Photo& p) { return p.enrolment; });
        out << '"' << person.name << "\"," << person.photos.size() << ',' << person.missed() << ',' << enrolment
            << ',' << groupSamples(person) << ',' << (person.owner() ? "yes" : "no") << '\n';
    }
    if (!out)
        throw std::runtime_error("cannot write " + path);
}

void Report::writeRocPng(const std::string& path) const
{
    RocPlot plot("ROC, " + split.substr(0, split.find(':')));
    for (const Row& row : rows) {
        RocPlot::Curve curve{row.result.name + "  (EER " + percent(row.metrics.equalErrorRate(), 1) + ")",
                                 row.metrics.roc(), std::nullopt};
        if (row.result.decisionThreshold) {
            const double threshold = *row.result.decisionThreshold;
            curve.marker = RocPoint{threshold, row.metrics.falseAcceptRate(threshold),
                                    1.0 - row.metrics.falseRejectRate(threshold)};
            curve.label += ", o: score > " + fixed(threshold, 2);
        }
        plot.add(curve);
    }
    plot.write(path);
}

} // namespace eval
