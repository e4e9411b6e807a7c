// The sphere's texture is the program's own machine code, starting at the main routine.
#pragma once

#include <cstddef>

constexpr std::size_t code_image_bytes = 16 * 16 * 4;

// Copies what lies in [start, end), at most code_image_bytes of it, and zero-fills the rest.
// Nothing at or past end is read.
void copy_code_image(const unsigned char* start, const unsigned char* end,
                     unsigned char (&image)[code_image_bytes]);
// Needs the rendering context current; builds the mipmapped texture in the default texture object.
void build_code_texture();
