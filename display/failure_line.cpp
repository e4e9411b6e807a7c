#include "display/failure_line.h"

#include <cstring>
#include <unistd.h>

void write_failure_line(const char* prefix, const char* what)
{
    // Nothing more can be said once standard error is gone.
    if (write(2, prefix, std::strlen(prefix)) > 0 && write(2, what, std::strlen(what)) > 0 &&
        write(2, "\n", 1) > 0) {
    }
}
