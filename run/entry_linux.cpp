#include "display/display.h"
#include "run/run_effect.h"

int main()
{
    end_process(run_effect());
}
