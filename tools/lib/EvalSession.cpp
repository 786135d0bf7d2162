#include "EvalSession.h"

#include "EvalCapture.h"
#include "EvalEigenfacesScorer.h"
#include "EvalFisherfacesScorer.h"
#include "EvalLbphScorer.h"
#include "EvalRawVectorScorer.h"
#include "EvalReport.h"
#include "EvalRun.h"
#include "EvalVisagioScorer.h"
#include "SampleCutter.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <stdexcept>

namespace {

struct Method
{
    std::unique_ptr<EvalScorer> scorer;
    bool lockLevel = false;
};

// Every stride-th foreign face, so that at most `limit` remain.
std::vector<std::vector<float>> thinned(const std::vector<std::vector<float>>& foreigns, int limit)
{
    const std::size_t stride = (foreigns.size() + static_cast<std::size_t>(limit) - 1) / static_cast<std::size_t>(limit);
    std::vector<std::vector<float>> kept;
    for (std::size_t k = 0; k < foreigns.size(); k += std::max<std::size_t>(stride, 1))
        kept.push_back(foreigns[k]);
    return kept;
}

std::unique_ptr<EvalScorer> fisherfaces(const EvalVisagioScorer& visagio, int limit, EvalReport& report)
{
    const auto& foreigns = visagio.matcher().foreignVectors();
    if (foreigns.empty()) {
        report.note("OpenCV Fisherfaces skipped: the foreign-face base is empty");
        return nullptr;
    }
    const std::vector<std::vector<float>> used = thinned(foreigns, std::max(limit, 1));
    report.note("OpenCV Fisherfaces: second class = " + std::to_string(used.size()) + " of the " +
                std::to_string(foreigns.size()) + " faces of the matcher's foreign base");
    return std::make_unique<EvalFisherfacesScorer>(used);
}

std::vector<Method> makeMethods(const EvalSessionSettings& settings, EvalReport& report)
{
    auto visagio = std::make_unique<EvalVisagioScorer>();
    std::vector<Method> methods;
    for (const std::string& name : settings.methods) {
        if (name == "raw")
            methods.push_back({std::make_unique<EvalRawVectorScorer>(), false});
        else if (name == "lbph")
            methods.push_back({std::make_unique<EvalLbphScorer>(), false});
        else if (name == "eigenfaces")
            methods.push_back({std::make_unique<EvalEigenfacesScorer>(), false});
        else if (name == "fisherfaces")
            methods.push_back({fisherfaces(*visagio, settings.fisherForeigns, report), false});
        else if (name != "visagio")
            throw std::invalid_argument("unknown method: " + name);
    }
    const auto wanted = std::find(settings.methods.begin(), settings.methods.end(), "visagio");
    if (wanted != settings.methods.end())
        methods.insert(methods.begin() + (wanted - settings.methods.begin()), Method{std::move(visagio), true});
    return methods;
}

void requireTrials(const std::vector<EvalPerson>& people)
{
    const auto owners = std::count_if(people.begin(), people.end(), [](const EvalPerson& p) { return p.owner(); });
    if (owners == 0 || people.size() < 2)
        throw std::runtime_error("too few people: at least one person with enough photographs and one other are needed");
}

void writeOutputs(const EvalReport& report, const std::string& outDir)
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

} // namespace

void EvalSession::run(const EvalSessionSettings& settings)
{
    EvalCapture capture(settings.options, SampleCutter::defaultFaceCascade(), SampleCutter::defaultEyeCascade());
    const std::vector<EvalPerson> people = capture.capture(settings.photos);
    requireTrials(people);
    EvalReport report(settings.split, people, settings.options);
    report.setCaptureTimes(capture.detectTime(), capture.sampleTime());
    if (settings.options.impostorPhotos > 0)
        report.note("impostor trials: the first " + std::to_string(settings.options.impostorPhotos) +
                    " photographs of each other person");
    report.note("model: " + settings.model + "; seed " + std::to_string(settings.options.seed));
    const EvalRun run(people, settings.options);
    for (Method& method : makeMethods(settings, report))
        if (method.scorer)
            report.add(run.evaluate(*method.scorer, method.lockLevel));
    report.print(stdout);
    writeOutputs(report, settings.outDir);
}
