#include "display/display.h"
#include "display/win32_saver_display.h"
#include "run/run_effect.h"

// The process starts here, with no C runtime.
extern "C" [[noreturn]] void entry()
{
    take_saver_command_line();
    end_process(run_effect());
}
