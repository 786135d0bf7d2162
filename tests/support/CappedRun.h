#pragma once

#include <QByteArray>

#include <functional>
#include <utility>
#include <string>

// Runs a piece of code in a forked child whose address space may grow by at most a cap, and
// measures how far the child's resident memory grew (its peak over what it had at the fork).
// A loader that believed a damaged header then either fails with "out of memory" or shows its
// allocation in the peak, and a crash is reported instead of ending the test program.
// AddressSanitizer reserves terabytes of address space and keeps freed memory in quarantine,
// so a sanitizer build runs the code in-process, unmeasured.

// What a run ended with, in a form the child hands back through a pipe.
struct CappedOutcome
{
    CappedOutcome(std::string error = std::string()) : error(std::move(error)) {}

    std::string error;     // set by the code; "out of memory", "crashed with signal N" by the harness
    std::string printed;   // standard output during the run, when the code records it
    int foreignCount = -1; // faces of a foreign base, when the code built a matcher
    bool finite = true;    // every foreign face vector finite
    QByteArray digest;     // hash of the foreign face vectors
    qint64 peakGrowth = -1; // growth of the resident memory at its peak; -1: not measured
};

// True in an AddressSanitizer build: runCapped then runs in-process and measures nothing.
bool underAddressSanitizer();

// Runs `action` in a child whose address space may grow by `addressSpaceCap` bytes; a failed
// allocation there ends the run as "out of memory".
CappedOutcome runCapped(const std::function<CappedOutcome()>& action, long addressSpaceCap = 1L << 30);
