#include "report/AxisTable.h"

#include "report/Metrics.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iomanip>
#include <sstream>
#include <stdexcept>

namespace eval {

namespace {
constexpr const char* kMissing = "–";
} // namespace

void AxisTable::add(const std::string& condition, const MethodResult& result)
{
    rows.push_back({condition, result});
}

std::string AxisTable::markdown() const
{
    std::ostringstream out;
    out << "| condition | method | genuine / impostor faces | EER | FAR at score > 0.99 | FRR at score > 0.99 | "
           "owner sequences that open the lock | stranger sequences that open the lock |\n"
        << "|---|---|---|---|---|---|---|---|\n";
    for (const Row& row : rows) {
        const MethodResult& r = row.result;
        out << "| " << row.condition << " | " << r.name << " | " << r.genuine.size() << " / " << r.impostor.size()
            << " | ";
        if (r.genuine.empty() || r.impostor.empty()) {
            out << kMissing << " | " << kMissing << " | " << kMissing << " | ";
        } else {
            const Metrics metrics(r.genuine, r.impostor);
            out << percent(metrics.equalErrorRate()) << " | ";
            if (r.decisionThreshold)
                out << percent(metrics.falseAcceptRate(*r.decisionThreshold)) << " | "
                    << percent(metrics.falseRejectRate(*r.decisionThreshold)) << " | ";
            else
                out << kMissing << " | " << kMissing << " | ";
        }
        if (r.lockLevel)
            out << share(LockReplay::openedCount(r.ownerSequences), long(r.ownerSequences.size())) << " | "
                << share(LockReplay::openedCount(r.impostorSequences), long(r.impostorSequences.size())) << " |\n";
        else
            out << kMissing << " | " << kMissing << " |\n";
    }
    return out.str();
}

void AxisTable::publish(const std::string& text, const std::string& outDir, const std::string& fileName)
{
    std::printf("\n%s", text.c_str());
    std::filesystem::create_directories(outDir);
    const std::filesystem::path path = std::filesystem::path(outDir) / fileName;
    std::ofstream out(path);
    out << text;
    if (!out)
        throw std::runtime_error("cannot write " + path.string());
    std::printf("\nwritten: %s\n", path.string().c_str());
}

std::string AxisTable::share(long part, long whole)
{
    std::ostringstream out;
    out << part << " of " << whole << " (" << std::fixed << std::setprecision(1)
        << (whole > 0 ? 100.0 * static_cast<double>(part) / static_cast<double>(whole) : 0.0) << " %)";
    return out.str();
}

std::string AxisTable::percent(double value)
{
    std::ostringstream out;
    out << std::fixed << std::setprecision(2) << 100.0 * value << " %";
    return out.str();
}

} // namespace eval
