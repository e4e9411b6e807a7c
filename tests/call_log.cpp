#include "tests/call_log.h"

std::vector<std::string>& call_log()
{
    static std::vector<std::string> log;
    return log;
}

void log_call(const std::string& line)
{
    call_log().push_back(line);
}
