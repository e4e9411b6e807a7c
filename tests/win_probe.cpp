// Run under Wine beside the effect: prints each visible top-level window of the "Edit" class with
// its text, rectangle and styles, one line each, as Windows itself sees them.
#include <windows.h>

#include <cstdio>

namespace {
BOOL CALLBACK print_edit_window(HWND window, LPARAM)
{
    char class_name[64] = {}, text[64] = {};
    GetClassNameA(window, class_name, sizeof class_name);
    if (lstrcmpiA(class_name, "EDIT") != 0 || !IsWindowVisible(window))
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

int main()
{
    EnumWindows(print_edit_window, 0);
    std::fflush(stdout);
    return 0;
}
