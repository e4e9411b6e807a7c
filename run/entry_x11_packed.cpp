#include "display/display.h"
#include "run/run_effect.h"

#include <dlfcn.h>

// The one function the dynamic linker finds: called through its GOT slot, as there is no PLT. Weak,
// so that the link takes it from no library and asks for no version: the C library that has it
// comes in with the X library.
extern "C" __attribute__((noplt, weak)) void* dlsym(void*, const char*) noexcept;

// Marked by the imports' name table; the slots lie in the same order as the names.
extern "C" const char import_names_start[], import_names_end[];
extern "C" void* import_slots[];

// The packed build's payload starts here, as the 4k build does, except that each import's slot is
// the next one for the next name: nothing of the slots is left in the file to compress.
extern "C" [[noreturn]] __attribute__((force_align_arg_pointer)) void _start()
{
    void** slot = import_slots;
    for (const char* name = import_names_start; name < import_names_end; ++slot) {
        *slot = dlsym(RTLD_DEFAULT, name);
        // Past the name's terminating zero: strlen is one of the imports.
        while (*name++)
            ;
    }
    end_process(run_effect());
}
