// Preloaded into the Wayland effect by the tests: choosing lists the EGL configurations with alpha
// before the others, so that what keeps alpha out is the host's own check, not the order the
// implementation gives.
#include <EGL/egl.h>

#include <algorithm>
#include <dlfcn.h>

extern "C" EGLBoolean eglChooseConfig(EGLDisplay display, const EGLint* wanted, EGLConfig* listed,
                                      EGLint room, EGLint* count)
{
    const auto choose =
        reinterpret_cast<EGLBoolean (*)(EGLDisplay, const EGLint*, EGLConfig*, EGLint, EGLint*)>(
            dlsym(RTLD_NEXT, "eglChooseConfig"));
    const EGLBoolean chosen = choose(display, wanted, listed, room, count);
    if (chosen && listed)
        std::stable_partition(listed, listed + *count, [display](EGLConfig config) {
            EGLint alpha = 0;
            eglGetConfigAttrib(display, config, EGL_ALPHA_SIZE, &alpha);
            return alpha > 0;
        });
    return chosen;
}
