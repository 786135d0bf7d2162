#pragma once

#include "Capture.h"
#include "FacedataIndex.h"
#include "Options.h"

#include <string>
#include <vector>

namespace eval {

// How strict the lock is for strangers as the owner enrols more: the program's matchers (the
// GRBM feature model and the face-resnet) over the same captured people under several
// enrolments (one group from 3, 5 and 10 photographs,
// one from half of the photographs, two groups from two disjoint quarters), each with the
// share of strangers' faces and of the owner's faces accepted at the program's threshold and
// the owner and stranger sequences that open the lock.
class EnrolmentAxis
{
public:
    struct Row
    {
        std::string method;
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

    // The methods of the axis among `requested`, in their order: "visagio" and "resnet".
    // Throws: std::invalid_argument when it names neither.
    static std::vector<std::string> methods(const std::vector<std::string>& requested);

    // Requires: people = capture.capture(photos), with embeddings when methods holds "resnet";
    //           the working directory holds the matchers' files.
    // Ensures:  one row a method and enrolment, by method; the people are left enrolled under
    //           the last enrolment.
    static std::vector<Row> run(Capture& capture, std::vector<Person>& people,
                                const std::vector<FacePhoto>& photos, const Options& options,
                                const std::vector<std::string>& methods, int threads);

    // The rows as a Markdown table.
    static std::string markdown(const std::vector<Row>& rows);
};

} // namespace eval
