#include "axes/EnrolmentAxis.h"

#include "Confidence.h"
#include "report/AxisTable.h"
#include "report/Metrics.h"
#include "TrialProtocol.h"
#include "scorers/ResnetScorer.h"
#include "scorers/VisagioScorer.h"

#include <algorithm>
#include <memory>
#include <sstream>
#include <stdexcept>

namespace eval {

namespace {
struct Enrolment
{
    const char* name;
    int photos;  // 0: half of each person's photographs
    int groups;
};

const Enrolment kEnrolments[] = {
    {"one group from 3 photographs", 3, 1},
    {"one group from 5 photographs", 5, 1},
    {"one group from 10 photographs", 10, 1},
    {"one group from half of the photographs", 0, 1},
    {"two groups from two quarters", 0, 2},
};

const char* const kAxisMethods[] = {"visagio", "resnet"};

TrialProtocol::ScorerFactory factoryOf(const std::string& method)
{
    if (method == "resnet")
        return [] { return std::make_unique<ResnetScorer>(); };
    return [] { return std::make_unique<VisagioScorer>(); };
}

EnrolmentAxis::Row rowOf(const MethodResult& result, const TrialProtocol& run, const std::string& enrolment)
{
    const Metrics metrics(result.genuine, result.impostor);
    EnrolmentAxis::Row row;
    row.method = result.name;
    row.enrolment = enrolment;
    row.owners = run.ownerCount();
    row.genuineTrials = metrics.genuineCount();
    row.impostorTrials = metrics.impostorCount();
    row.far = metrics.falseAcceptRate(kLockThreshold);
    row.frr = metrics.falseRejectRate(kLockThreshold);
    row.eer = metrics.equalErrorRate();
    row.ownerSequencesOpened = static_cast<int>(LockReplay::openedCount(result.ownerSequences));
    row.ownerSequences = static_cast<int>(result.ownerSequences.size());
    row.impostorSequencesOpened = static_cast<int>(LockReplay::openedCount(result.impostorSequences));
    row.impostorSequences = static_cast<int>(result.impostorSequences.size());
    return row;
}

} // namespace

std::vector<std::string> EnrolmentAxis::methods(const std::vector<std::string>& requested)
{
    std::vector<std::string> chosen;
    for (const std::string& name : requested)
        if (std::find(std::begin(kAxisMethods), std::end(kAxisMethods), name) != std::end(kAxisMethods))
            chosen.push_back(name);
    if (chosen.empty())
        throw std::invalid_argument("the enrolment axis measures visagio and resnet: --methods names neither");
    return chosen;
}

// Every enrolment is captured once and measured under each method; the rows are then put in
// method order.
std::vector<EnrolmentAxis::Row> EnrolmentAxis::run(Capture& capture, std::vector<Person>& people,
                                                           const std::vector<FacePhoto>& photos,
                                                           const Options& options,
                                                           const std::vector<std::string>& methods, int threads)
{
    std::vector<std::vector<Row>> byMethod(methods.size());
    for (const Enrolment& enrolment : kEnrolments) {
        Options scheme = options;
        scheme.enrolPhotos = enrolment.photos;
        scheme.enrolGroups = enrolment.groups;
        capture.reenrol(people, photos, scheme);
        const TrialProtocol run(people, scheme);
        for (std::size_t m = 0; m < methods.size(); ++m)
            byMethod[m].push_back(rowOf(run.evaluate(factoryOf(methods[m]), true, threads), run, enrolment.name));
    }
    std::vector<Row> rows;
    for (const std::vector<Row>& method : byMethod)
        rows.insert(rows.end(), method.begin(), method.end());
    return rows;
}

std::string EnrolmentAxis::markdown(const std::vector<Row>& rows)
{
    std::ostringstream out;
    out << "| method | enrolment | owners | genuine / impostor trials | FAR at score > 0.99 | FRR at score > 0.99 | EER | "
           "owner sequences that open the lock | stranger sequences that open the lock |\n"
        << "|---|---|---|---|---|---|---|---|---|\n";
    for (const Row& row : rows)
        out << "| " << row.method << " | " << row.enrolment << " | " << row.owners << " | " << row.genuineTrials << " / "
            << row.impostorTrials << " | " << AxisTable::percent(row.far) << " | "
            << AxisTable::percent(row.frr) << " | " << AxisTable::percent(row.eer) << " | "
            << AxisTable::share(row.ownerSequencesOpened, row.ownerSequences) << " | "
            << AxisTable::share(row.impostorSequencesOpened, row.impostorSequences) << " |\n";
    return out.str();
}

} // namespace eval
