#include "Session.h"

#include "axes/EnrolmentAxis.h"
#include "Capture.h"
#include "report/AxisTable.h"
#include "report/Report.h"
#include "TrialProtocol.h"
#include "SampleCutter.h"
#include "scorers/EigenfacesScorer.h"
#include "scorers/FisherfacesScorer.h"
#include "scorers/LbphScorer.h"
#include "scorers/RawVectorScorer.h"
#include "scorers/ResnetScorer.h"
#include "scorers/VisagioScorer.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <stdexcept>

namespace eval {

namespace {

struct Method
{
    TrialProtocol::ScorerFactory make;
    bool lockLevel = false;
};

// Every stride-th foreign face, so that at most `limit` remain.
std::vector<std::vector<float>> thinned(const std::vector<std::vector<float>>& foreigns, int limit)
{
    const auto cap = static_cast<std::size_t>(std::max(limit, 1));
    const std::size_t stride = std::max<std::size_t>((foreigns.size() + cap - 1) / cap, 1);
    std::vector<std::vector<float>> kept;
    for (std::size_t k = 0; k < foreigns.size(); k += stride)
        kept.push_back(foreigns[k]);
    return kept;
}

// Fisherfaces' second class: the foreign base the matcher reads from the working directory.
std::optional<Method> fisherfaces(int limit, Report& report)
{
    const VisagioScorer reader;
    const auto& foreigns = reader.matcher().foreignVectors();
    if (foreigns.empty()) {
        report.note("OpenCV Fisherfaces skipped: the foreign-face base is empty");
        return std::nullopt;
    }
    auto used = std::make_shared<const std::vector<std::vector<float>>>(thinned(foreigns, limit));
    report.note("OpenCV Fisherfaces: second class = " + std::to_string(used->size()) + " of the " +
                std::to_string(foreigns.size()) + " faces of the matcher's foreign base");
    return Method{[used] { return std::make_unique<FisherfacesScorer>(*used); }, false};
}

std::optional<Method> methodNamed(const std::string& name, const SessionSettings& settings, Report& report)
{
    if (name == "visagio")
        return Method{[] { return std::make_unique<VisagioScorer>(); }, true};
    if (name == "resnet")
        return Method{[] { return std::make_unique<ResnetScorer>(); }, true};
    if (name == "raw")
        return Method{[] { return std::make_unique<RawVectorScorer>(); }, false};
    if (name == "lbph")
        return Method{[] { return std::make_unique<LbphScorer>(); }, false};
    if (name == "eigenfaces")
        return Method{[] { return std::make_unique<EigenfacesScorer>(); }, false};
    if (name == "fisherfaces")
        return fisherfaces(settings.fisherForeigns, report);
    throw std::invalid_argument("unknown method: " + name);
}

void requireKnownMethods(const std::vector<std::string>& methods)
{
    static const char* const known[] = {"visagio", "resnet", "raw", "lbph", "eigenfaces", "fisherfaces"};
    for (const std::string& name : methods)
        if (std::find(std::begin(known), std::end(known), name) == std::end(known))
            throw std::invalid_argument("unknown method: " + name);
}

void requireTrials(const std::vector<Person>& people)
{
    const auto owners = std::count_if(people.begin(), people.end(), [](const Person& p) { return p.owner(); });
    if (owners == 0 || people.size() < 2)
        throw std::runtime_error("too few people: at least one person with enough photographs and one other are needed");
}

void writeOutputs(const Report& report, const std::string& outDir)
{
    std::filesystem::create_directories(outDir);
    const std::filesystem::path dir(outDir);
    std::ofstream summary(dir / "eval-summary.md");
    summary << report.markdown();
    if (!summary)
        throw std::runtime_error("cannot write " + (dir / "eval-summary.md").string());
    report.writeRocCsv((dir / "eval-roc.csv").string());
    report.writePeopleCsv((dir / "eval-people.csv").string());
    report.writeRocPng((dir / "eval-roc.png").string());
    std::printf("\nwritten: %s/eval-summary.md, eval-roc.csv, eval-roc.png, eval-people.csv\n",
                std::filesystem::absolute(dir).string().c_str());
}

void runEnrolmentAxis(const SessionSettings& settings, Capture& capture, std::vector<Person>& people)
{
    const auto rows = EnrolmentAxis::run(capture, people, settings.photos, settings.options,
                                         EnrolmentAxis::methods(settings.methods), settings.threads);
    std::string table = "Enrolment axis, " + settings.split + "; model: " + settings.model + "; seed " +
                        std::to_string(settings.options.seed) + "\n\n" + EnrolmentAxis::markdown(rows);
    for (const std::string& line : Report::embeddingLines(capture.embeddingStats()))
        table += "\n- " + line;
    AxisTable::publish(table, settings.outDir, "eval-enrolment-axis.md");
}

} // namespace

void Session::run(const SessionSettings& settings)
{
    requireKnownMethods(settings.methods);
    Options options = settings.options;
    options.embed = std::find(settings.methods.begin(), settings.methods.end(), "resnet") != settings.methods.end();
    Capture capture(options, SampleCutter::defaultFaceCascade(), SampleCutter::defaultEyeCascade(), settings.threads);
    std::vector<Person> people = capture.capture(settings.photos);
    requireTrials(people);
    if (settings.enrolmentAxis) {
        runEnrolmentAxis(settings, capture, people);
        return;
    }
    Report report(settings.split, people, settings.options);
    report.setCaptureTimes(capture.detectTime(), capture.sampleTime());
    report.setEmbeddingStats(capture.embeddingStats());
    if (settings.options.impostorPhotos > 0)
        report.note("impostor trials: the first " + std::to_string(settings.options.impostorPhotos) +
                    " photographs of each other person");
    report.note("model: " + settings.model + "; seed " + std::to_string(settings.options.seed));
    const TrialProtocol run(people, settings.options);
    for (const std::string& name : settings.methods)
        if (const std::optional<Method> method = methodNamed(name, settings, report))
            report.add(run.evaluate(method->make, method->lockLevel, settings.threads));
    report.print(stdout);
    writeOutputs(report, settings.outDir);
}

} // namespace eval
