#include "display/display.h"
#include "run/run_effect.h"

// The size-coded build starts here, with no C runtime start-up of its own: the dynamic linker has
// already initialised every library. The kernel enters with the stack aligned for no call.
extern "C" [[noreturn]] __attribute__((force_align_arg_pointer)) void _start()
{
    end_process(run_effect());
}
