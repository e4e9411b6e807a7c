#include "display/display.h"
#include "run/run_effect.h"

// The process starts here, with no C runtime: nothing to initialise, no command line to read.
extern "C" [[noreturn]] void entry()
{
    end_process(run_effect());
}
