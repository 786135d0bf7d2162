#include "ToolMain.h"

#include "Errors.h"

#include <cstdio>
#include <exception>

int runTool(const char* name, const std::function<int()>& run)
{
    // Progress lines reach a log file as they happen.
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    try {
        return run();
    } catch (const std::exception& error) {
        std::fprintf(stderr, "%s: %s\n", name, error.what());
    } catch (const e_default& error) {
        std::fprintf(stderr, "%s: %s\n", name, error.message().c_str());
    }
    return 1;
}
