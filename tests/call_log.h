// The calls that link-time fakes saw, in order, as readable lines.
#pragma once

#include <string>
#include <vector>

std::vector<std::string>& call_log();
void log_call(const std::string& line);

// What the fakes of process-ending calls throw, so a test can see the status.
struct ProcessEnded {
    int status;
};
