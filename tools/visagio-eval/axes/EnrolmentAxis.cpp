#include "axes/EnrolmentAxis.h"

#include "Confidence.h"
#include "report/AxisTable.h"
#include "report/Metrics.h"
#include "TrialProtocol.h"
#include "scorers/VisagioScorer.h"

#include <algorithm>
#include <memory>
#include <sstream>

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

} // namespace

std::vector<EnrolmentAxis::Row> EnrolmentAxis::run(Capture& capture, std::vector<Person>& people,
                                                           const std::vector<FacePhoto>& photos,
                                                           const Options& options, int threads)
{
    std::vector<Row> rows;
    for (const Enrolment& enrolment : kEnrolments) {
        Options scheme = options;
        scheme.enrolPhotos = enrolment.photos;
        scheme.enrolGroups = enrolment.groups;
        capture.reenrol(people, photos, scheme);
        const TrialProtocol run(people, scheme);
        const MethodResult result =
            run.evaluate([] { return std::make_unique<VisagioScorer>(); }, true, threads);
        const Metrics metrics(result.genuine, result.impostor);
        Row row;
        row.enrolment = enrolment.name;
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
        rows.push_back(row);
    }
    return rows;
}

std::string EnrolmentAxis::markdown(const std::vector<Row>& rows)
{
    std::ostringstream out;
    out << "| enrolment | owners | genuine / impostor trials | FAR at score > 0.99 | FRR at score > 0.99 | EER | "
           "owner sequences that open the lock | stranger sequences that open the lock |\n"
        << "|---|---|---|---|---|---|---|---|\n";
    for (const Row& row : rows)
        out << "| " << row.enrolment << " | " << row.owners << " | " << row.genuineTrials << " / "
            << row.impostorTrials << " | " << AxisTable::percent(row.far) << " | "
            << AxisTable::percent(row.frr) << " | " << AxisTable::percent(row.eer) << " | "
            << AxisTable::share(row.ownerSequencesOpened, row.ownerSequences) << " | "
            << AxisTable::share(row.impostorSequencesOpened, row.impostorSequences) << " |\n";
    return out.str();
}

} // namespace eval
