#include "scene/code_texture.h"

#include "run/run_effect.h"

#ifdef _WIN32
#include <windows.h>
#endif
#include <GL/gl.h>
#include <GL/glu.h>

#include <cstdint>

// The linker's mark for the end of the loaded code: the image never reads past it.
extern "C" const unsigned char etext[];

namespace {
unsigned char code_image[code_image_bytes];

// A Thumb function's address is that of its code plus one.
const unsigned char* main_routine_code()
{
#ifdef __thumb__
    return reinterpret_cast<const unsigned char*>(reinterpret_cast<std::uintptr_t>(&run_effect) &
                                                  ~std::uintptr_t{1});
#else
    return reinterpret_cast<const unsigned char*>(&run_effect);
#endif
}
} // namespace

void copy_code_image(const unsigned char* start, const unsigned char* end,
                     unsigned char (&image)[code_image_bytes])
{
    // A plain loop: the Windows build has no C runtime to provide memcpy.
    const std::size_t available = end > start ? static_cast<std::size_t>(end - start) : 0;
    for (std::size_t i = 0; i < code_image_bytes; ++i)
        image[i] = i < available ? start[i] : 0;
}

void build_code_texture()
{
    copy_code_image(main_routine_code(), etext, code_image);
    gluBuild2DMipmaps(GL_TEXTURE_2D, 4, 16, 16, GL_RGBA, GL_UNSIGNED_BYTE, code_image);
}
