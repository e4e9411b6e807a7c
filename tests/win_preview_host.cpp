// Run under Wine, standing in for the Display settings' preview: a 240x180 window whose handle it
// prints in decimal, as a screensaver is given it. For each line on standard input it prints its
// first child window, as Windows sees it; when standard input closes it destroys its window, prints
// "destroyed" and ends.
#include <windows.h>

#include <cstdio>

namespace {
constexpr UINT describe_child = WM_APP;

void print_child(HWND window)
{
    const HWND child = FindWindowExA(window, nullptr, nullptr, nullptr);
    DWORD process = 0;
    GetWindowThreadProcessId(child, &process);
    RECT rect{}, client{};
    GetWindowRect(child, &rect);
    GetClientRect(window, &client);
    MapWindowPoints(window, nullptr, reinterpret_cast<POINT*>(&client), 2);
    std::printf(
        "child=%d other_process=%d style=%08lx rect=%ld,%ld,%ld,%ld client=%ld,%ld,%ld,%ld\n",
        child != nullptr, process != GetCurrentProcessId(),
        static_cast<unsigned long>(GetWindowLongA(child, GWL_STYLE)), rect.left, rect.top,
        rect.right, rect.bottom, client.left, client.top, client.right, client.bottom);
    std::fflush(stdout);
}

LRESULT CALLBACK host_procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam)
{
    if (message == describe_child)
        print_child(window);
    if (message == WM_DESTROY)
        PostQuitMessage(0);
    return DefWindowProcA(window, message, wparam, lparam);
}

// Its own thread, so the window keeps reading its messages: creating the saver's child sends one.
DWORD WINAPI follow_input(void* window)
{
    char line[64];
    while (std::fgets(line, sizeof line, stdin))
        PostMessageA(static_cast<HWND>(window), describe_child, 0, 0);
    PostMessageA(static_cast<HWND>(window), WM_CLOSE, 0, 0);
    return 0;
}
} // namespace

int main()
{
    WNDCLASSA window_class{};
    window_class.lpfnWndProc = host_procedure;
    window_class.hInstance = GetModuleHandleA(nullptr);
    window_class.hbrBackground = static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
    window_class.lpszClassName = "preview host";
    RegisterClassA(&window_class);
    const HWND window =
        CreateWindowExA(0, "preview host", "preview host", WS_POPUP | WS_VISIBLE, 20, 20, 240, 180,
                        nullptr, nullptr, window_class.hInstance, nullptr);
    std::printf("%llu\n", static_cast<unsigned long long>(reinterpret_cast<UINT_PTR>(window)));
    std::fflush(stdout);
    CreateThread(nullptr, 0, follow_input, window, 0, nullptr);
    MSG message;
    while (GetMessageA(&message, nullptr, 0, 0) > 0)
        DispatchMessageA(&message);
    std::puts("destroyed");
    std::fflush(stdout);
    return 0;
}
