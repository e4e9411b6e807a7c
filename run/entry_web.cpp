#include "display/display.h"
#include "run/run_effect.h"
#include "web/page.h"

// A WebGL function's code is not in linear memory, and its address is its slot in the function
// table, a small number. The page copies 1,024 bytes of the run sequence's code to that address,
// below the data, which the build moves up to make room; so the code texture reads its code region
// from the main routine's address, as on the other builds. This end-of-code mark lies in the data,
// past all of it.
extern "C" const unsigned char etext[] = {0};

int main()
{
    page_place_code_region(reinterpret_cast<const void*>(&run_effect));
    end_process(run_effect());
}
