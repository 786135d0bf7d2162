#pragma once

#include <functional>

// The `main` of every tool: runs `run`, and turns any error (the standard library's or the
// engine's) into one line "name: message" on standard error and exit code 1.
int runTool(const char* name, const std::function<int()>& run);
