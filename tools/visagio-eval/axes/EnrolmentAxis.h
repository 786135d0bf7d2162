#pragma once

#include "Capture.h"
#include "FacedataIndex.h"
#include "Options.h"

#include <string>
#include <vector>

namespace eval {

// How strict the lock is for strangers as the owner enrols more: the program's matcher over
// the same captured people under several enrolments (one group from 3, 5 and 10 photographs,
// one from half of the photographs, two groups from two disjoint quarters), each with the
// share of strangers' faces and of the owner's faces accepted at the program's threshold and
// the owner and stranger sequences that open the lock.
class EnrolmentAxis
{
public:
    struct Row
    {
        std::string enrolment;
        int owners = 0;
        std::size_t genuineTrials = 0;
        std::size_t impostorTrials = 0;
        double far = 0.0;
        double frr = 0.0;
        double eer = 0.0;
        int ownerSequencesOpened = 0;
        int ownerSequences = 0;
        int impostorSequencesOpened = 0;
        int impostorSequences = 0;
    };

    // Requires: people = capture.capture(photos); the working directory holds the matcher's files.
    // Ensures:  one row an enrolment; the people are left enrolled under the last one.
    static std::vector<Row> run(Capture& capture, std::vector<Person>& people,
                                const std::vector<FacePhoto>& photos, const Options& options, int threads);

    // The rows as a Markdown table.
    static std::string markdown(const std::vector<Row>& rows);
};

} // namespace eval
