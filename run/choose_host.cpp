// The Linux effect starts here, and this is where it chooses its display host: the native Wayland
// host when WAYLAND_DISPLAY names a compositor that answers, the X11 host otherwise.
// QUINESPHERE_HOST=wayland or QUINESPHERE_HOST=x11 forces either. The hosts are executables of
// their own, each the whole effect, so that each carries only its own libraries and its own code
// becomes its texture. Only the launcher reads arguments: --help and --version, answered before any
// display is opened; the hosts ignore theirs.
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace {
bool wayland_compositor_answers()
{
    const char* const name = std::getenv("WAYLAND_DISPLAY");
    const char* const directory = std::getenv("XDG_RUNTIME_DIR");
    if (!name || !*name || (name[0] != '/' && !directory))
        return false;
    sockaddr_un address = {};
    address.sun_family = AF_UNIX;
    const int length =
        name[0] == '/'
            ? std::snprintf(address.sun_path, sizeof address.sun_path, "%s", name)
            : std::snprintf(address.sun_path, sizeof address.sun_path, "%s/%s", directory, name);
    if (length < 0 || static_cast<size_t>(length) >= sizeof address.sun_path)
        return false;
    const int connection = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const bool answers =
        connection >= 0 &&
        connect(connection, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    if (connection >= 0)
        close(connection);
    return answers;
}

const char* chosen_host()
{
    const char* const forced = std::getenv("QUINESPHERE_HOST");
    if (forced && *forced)
        return forced;
    return wayland_compositor_answers() ? "wayland" : "x11";
}

// A run that cannot start is reported the way the hosts report a failed set-up.
int fail(const char* what, const char* detail)
{
    std::fprintf(stderr, "quinesphere: %s%s\n", what, detail);
    return 0;
}

int print_help()
{
    std::fputs("Usage: quinesphere [--help | --version]\n"
               "A full-screen OpenGL effect: a sphere textured with this program's own machine\n"
               "code tumbles around the eye, drawn at 6 % opacity onto a picture that is never\n"
               "cleared. Escape ends it.\n"
               "\n"
               "QUINESPHERE_HOST=wayland or QUINESPHERE_HOST=x11 forces that display host; by\n"
               "default Wayland when a compositor answers, X11 otherwise.\n"
               "Exit status: 1 when the rendering context was deleted cleanly, 0 otherwise, and\n"
               "0 with one line on standard error when the run could not start.\n"
               "The manual: man quinesphere\n",
               stdout);
    return 0;
}
} // namespace

int main(int argc, char** argv)
{
    if (argc > 1) {
        if (std::strcmp(argv[1], "--help") == 0)
            return print_help();
        if (std::strcmp(argv[1], "--version") == 0) {
            std::printf("quinesphere %s\n", QUINESPHERE_VERSION);
            return 0;
        }
        std::fprintf(stderr, "quinesphere: unknown argument %s (see quinesphere --help)\n",
                     argv[1]);
        return 0;
    }
    const char* const host = chosen_host();
    if (std::strcmp(host, "wayland") && std::strcmp(host, "x11"))
        return fail("QUINESPHERE_HOST must be wayland or x11, not ", host);
    char path[PATH_MAX];
    const ssize_t length = readlink("/proc/self/exe", path, sizeof path - 1);
    if (length <= 0)
        return fail("cannot find its own executable", "");
    path[length] = '\0';
    char* const slash = std::strrchr(path, '/');
    // Beside the launcher in a build; installed, in the package's own directory.
    static const char* const places[] = {"", "../libexec/quinesphere/"};
    for (const char* place : places) {
        const int written =
            std::snprintf(slash + 1, sizeof path - static_cast<size_t>(slash + 1 - path),
                          "%squinesphere-%s", place, host);
        if (written < 0 || slash + 1 + written >= path + sizeof path)
            return fail("path too long: ", path);
        execv(path, argv);
    }
    return fail("cannot start the display host quinesphere-", host);
}
