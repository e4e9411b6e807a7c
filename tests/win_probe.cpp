// Run under Wine beside the effect: prints each visible top-level window of the class named by its
// argument, "Edit" without one, with its text, rectangle and styles, one line each, as Windows
// itself sees them.
#include <windows.h>

#include <cstdio>

namespace {
BOOL CALLBACK print_window_of_class(HWND window, LPARAM wanted)
{
    char class_name[64] = {}, text[64] = {};
    GetClassNameA(window, class_name, sizeof class_name);
    if (lstrcmpiA(class_name, reinterpret_cast<const char*>(wanted)) != 0 ||
        !IsWindowVisible(window))
        return TRUE;
    GetWindowTextA(window, text, sizeof text);
    RECT rect;
    GetWindowRect(window, &rect);
    std::printf("class=%s text=%s rect=%ld,%ld,%ld,%ld style=%08lx exstyle=%08lx\n", class_name,
                text, rect.left, rect.top, rect.right, rect.bottom,
                static_cast<unsigned long>(GetWindowLongA(window, GWL_STYLE)),
                static_cast<unsigned long>(GetWindowLongA(window, GWL_EXSTYLE)));
    return TRUE;
}
} // namespace

int main(int argc, char** argv)
{
    EnumWindows(print_window_of_class, reinterpret_cast<LPARAM>(argc > 1 ? argv[1] : "EDIT"));
    std::fflush(stdout);
    return 0;
}
