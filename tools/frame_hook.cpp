// Preloaded into an unmodified Linux build of the effect (LD_PRELOAD), this library watches the
// present call. Driven by the environment:
//   QUINESPHERE_HOOK_REPORT=FILE        at teardown, writes figures of the run as "name value"
//   lines QUINESPHERE_HOOK_ESCAPE_AFTER=N     the Escape poll sees the key down once N frames are
//   presented QUINESPHERE_HOOK_CAPTURE_DIR=DIR    writes presented frames as DIR/frame-NNNNNN.ppm
//   (from 1) QUINESPHERE_HOOK_CAPTURE_FIRST=A, QUINESPHERE_HOOK_CAPTURE_LAST=B   which frames
//   (default all)
#include <EGL/egl.h>
#include <GL/gl.h>
#include <GL/glx.h>
#include <X11/Xlib.h>
#include <X11/keysym.h>

#include <dlfcn.h>
#include <sys/resource.h>
#include <time.h>

#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {
struct Settings {
    const char* report = std::getenv("QUINESPHERE_HOOK_REPORT");
    long escape_after = number("QUINESPHERE_HOOK_ESCAPE_AFTER", -1);
    const char* capture_dir = std::getenv("QUINESPHERE_HOOK_CAPTURE_DIR");
    long capture_first = number("QUINESPHERE_HOOK_CAPTURE_FIRST", 1);
    long capture_last = number("QUINESPHERE_HOOK_CAPTURE_LAST", -1);

    static long number(const char* name, long fallback)
    {
        const char* text = std::getenv(name);
        return text ? std::strtol(text, nullptr, 10) : fallback;
    }
};

double seconds(clockid_t clock)
{
    timespec now;
    clock_gettime(clock, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

const Settings settings;
const double loaded_at = seconds(CLOCK_MONOTONIC);
long frames_presented;
double first_present_at = -1;
double first_present_cpu = 0;
std::vector<unsigned char> pixels;

template <typename Function> Function next(const char* name)
{
    return reinterpret_cast<Function>(dlsym(RTLD_NEXT, name));
}

bool capturing(long frame)
{
    return settings.capture_dir && frame >= settings.capture_first &&
           (settings.capture_last < 0 || frame <= settings.capture_last);
}

// Reads the frame about to be presented from the back buffer, leaving the pack state as it was.
void write_frame(long frame)
{
    GLint viewport[4], alignment;
    glGetIntegerv(GL_VIEWPORT, viewport);
    glGetIntegerv(GL_PACK_ALIGNMENT, &alignment);
    const int width = viewport[2], height = viewport[3];
    const std::size_t row = static_cast<std::size_t>(width) * 3;
    pixels.resize(row * static_cast<std::size_t>(height));
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadBuffer(GL_BACK);
    glReadPixels(0, 0, width, height, GL_RGB, GL_UNSIGNED_BYTE, pixels.data());
    glPixelStorei(GL_PACK_ALIGNMENT, alignment);
    char path[4096];
    std::snprintf(path, sizeof path, "%s/frame-%06ld.ppm", settings.capture_dir, frame);
    std::FILE* file = std::fopen(path, "wb");
    if (!file) {
        std::fprintf(stderr, "frame hook: cannot write %s\n", path);
        std::_Exit(3);
    }
    std::fprintf(file, "P6\n%d %d\n255\n", width, height);
    // GL rows run bottom to top.
    for (int y = height - 1; y >= 0; --y)
        std::fwrite(pixels.data() + row * static_cast<std::size_t>(y), 1, row, file);
    if (std::fclose(file) != 0) {
        std::fprintf(stderr, "frame hook: cannot write %s\n", path);
        std::_Exit(3);
    }
}

void write_report()
{
    if (!settings.report)
        return;
    std::FILE* file = std::fopen(settings.report, "w");
    if (!file)
        return;
    rusage usage;
    getrusage(RUSAGE_SELF, &usage);
    const double now = seconds(CLOCK_MONOTONIC);
    const double cpu = seconds(CLOCK_PROCESS_CPUTIME_ID);
    std::fprintf(file, "frames %ld\n", frames_presented);
    std::fprintf(file, "first_present_seconds %.6f\n", first_present_at - loaded_at);
    std::fprintf(file, "running_seconds %.6f\n", now - first_present_at);
    std::fprintf(file, "running_cpu_seconds %.6f\n", cpu - first_present_cpu);
    std::fprintf(file, "peak_rss_kib %ld\n", usage.ru_maxrss);
    std::fclose(file);
}

// Both hosts present through one of these.
template <typename Present> void present(Present&& real_present)
{
    if (capturing(frames_presented + 1))
        write_frame(frames_presented + 1);
    real_present();
    if (++frames_presented == 1) {
        first_present_at = seconds(CLOCK_MONOTONIC);
        first_present_cpu = seconds(CLOCK_PROCESS_CPUTIME_ID);
    }
}
} // namespace

extern "C" {
void glXSwapBuffers(Display* display, GLXDrawable drawable)
{
    static auto const real = next<void (*)(Display*, GLXDrawable)>("glXSwapBuffers");
    present([&] { real(display, drawable); });
}

// The Wayland host: frames and the report only, as its keys come from the compositor.
EGLBoolean eglSwapBuffers(EGLDisplay display, EGLSurface surface)
{
    static auto const real = next<EGLBoolean (*)(EGLDisplay, EGLSurface)>("eglSwapBuffers");
    EGLBoolean result = EGL_FALSE;
    present([&] { result = real(display, surface); });
    return result;
}

EGLBoolean eglDestroyContext(EGLDisplay display, EGLContext context)
{
    static auto const real = next<EGLBoolean (*)(EGLDisplay, EGLContext)>("eglDestroyContext");
    write_report();
    return real(display, context);
}

int XQueryKeymap(Display* display, char keys[32])
{
    static auto const real = next<int (*)(Display*, char*)>("XQueryKeymap");
    const int result = real(display, keys);
    if (settings.escape_after >= 0 && frames_presented >= settings.escape_after) {
        const KeyCode escape = XKeysymToKeycode(display, XK_Escape);
        keys[escape / 8] = static_cast<char>(keys[escape / 8] | 1 << (escape % 8));
    }
    return result;
}

void glXDestroyContext(Display* display, GLXContext context)
{
    static auto const real = next<void (*)(Display*, GLXContext)>("glXDestroyContext");
    write_report();
    real(display, context);
}
}
