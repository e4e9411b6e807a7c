#include "display/display.h"
#include "display/xscreensaver_display.h"
#include "run/run_effect.h"

// The XScreenSaver hack: the daemon chooses the window on the command line, then the same run.
int main(int argc, char** argv)
{
    take_saver_arguments(argc, argv);
    end_process(run_effect());
}
