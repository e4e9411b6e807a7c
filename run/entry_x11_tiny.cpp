#include "display/display.h"
#include "run/run_effect.h"

#include <dlfcn.h>

// Weak, so that the link takes it from no library and asks for no version: the C library that has
// it comes in with the X library, and needs neither a name of its own nor version tables.
extern "C" __attribute__((weak)) void* dlsym(void*, const char*) noexcept;

// Marked by the imports' name table and by the linker script around the GOT.
extern "C" const char import_names_start[], import_names_end[];
extern "C" const char* got_start[];
extern "C" const char* got_end[];

namespace {
// A GOT slot holding the address of a name in the table is an import still to be found; the one
// the dynamic linker filled, for dlsym itself, is left alone. A preloaded library comes before
// the others in the search, as it would for the dynamic linker.
void load_imports()
{
    for (const char** slot = got_start; slot < got_end; ++slot)
        if (*slot >= import_names_start && *slot < import_names_end)
            *slot = static_cast<const char*>(dlsym(RTLD_DEFAULT, *slot));
}
} // namespace

// The size-coded build starts here, with no C runtime start-up of its own: the dynamic linker has
// already initialised every library. The kernel enters with the stack aligned for no call.
extern "C" [[noreturn]] __attribute__((force_align_arg_pointer)) void _start()
{
    load_imports();
    end_process(run_effect());
}
