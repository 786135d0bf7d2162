#pragma once

#include "FacedataIndex.h"
#include "Options.h"

#include <string>
#include <vector>

namespace eval {

// What one evaluation run covers and where its files go.
struct SessionSettings
{
    std::string split;                // the face set and its people, named in every output
    std::vector<FacePhoto> photos;    // grouped by person
    Options options;
    // Any of "visagio", "resnet", "raw", "lbph", "eigenfaces", "fisherfaces", in table order
    // (the enrolment axis takes visagio and resnet only, and both when more are named).
    std::vector<std::string> methods = {"visagio", "resnet", "raw", "lbph", "eigenfaces", "fisherfaces"};
    std::string model;                // the model file the matcher reads, for the report
    std::string outDir;               // eval-summary.md, eval-roc.csv, eval-roc.png, eval-people.csv
    int fisherForeigns = 1000;        // at most this many foreign faces form Fisherfaces' second class
    int threads = 2;                  // owners scored in parallel, each thread with its own scorer
    bool enrolmentAxis = false;       // the program's matchers only, under every enrolment of the axis
};

// Runs a whole evaluation: the photographs through the live path, every method over the same
// samples and trials, the report on standard output and into the output folder.
class Session
{
public:
    // Requires: the working directory holds the matcher's files (see MatcherDirectory).
    // Throws:   std::runtime_error("too few people: ...") unless at least one person is
    //           enrolled and another one exists; std::invalid_argument("unknown method: <m>");
    //           what the matcher's construction and the file writing throw.
    static void run(const SessionSettings& settings);
};

} // namespace eval
