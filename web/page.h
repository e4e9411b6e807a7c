// What the page's script (web/page.js) does for the module, beside the WebGL calls of the GL ES 2
// names the GL layer makes.
#pragma once

extern "C" {
// Copies 1,024 bytes of the run sequence's code to address, where the code texture reads them.
void page_place_code_region(const void* address);
// The page's canvas in CSS pixels, and device pixels to a CSS pixel.
void page_canvas_size(double* width, double* height);
double page_pixel_ratio();
// Sizes the canvas's drawing buffer and starts listening for Escape and the gestures that ask
// for full screen.
void page_open_canvas(int width, int height);
// 0x8000 while Escape is down, 0x0001 if it was pressed, or full screen left, since the last call.
unsigned short page_poll_escape();
// 1, the page's WebGL 1 context, or 0 when the browser gives none.
int page_create_context();
void page_make_current(int context);
// 1 when the context was the page's.
int page_delete_context(int context);
// The end of the run, in the page's text and at the end of its title.
void page_show_end(const char* line, int status);
// These two return only after the calls leading to them have been saved in [data, end) and
// restored (Asyncify): the first on the next animation frame, the second never.
void page_next_frame(int* data, int* end);
void page_sleep_for_good(int* data, int* end);
// WebGL's enable and texImage2D, whose GL names the GL layer answers itself.
void webgl_enable(unsigned capability);
void webgl_tex_image_2d(unsigned target, int level, int internal_format, int width, int height,
                        int border, unsigned format, unsigned type, const void* pixels);
}
