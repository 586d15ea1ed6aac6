// A look from inside Wine at tarvello.exe's windows, for the tests that
// drive it from outside: run in the same Wine prefix, it finds a top-level
// window by its caption and prints, as UTF-8 on one line,
//   probe text CAPTION     the text of a message box (its static, id 0xFFFF)
//   probe client CAPTION   "x y", the client area's origin on the screen
//   probe children CAPTION "class|text" of each child window, one a line
//   probe foreground       "width height caption" of the active window
// It waits up to five seconds for the window; exit status 1 if none came.
#include <windows.h>

#include <cstdio>
#include <string>

namespace {

std::string utf8(const std::wstring& text) {
    const int n = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                      nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<std::size_t>(n > 0 ? n : 0), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), n,
                        nullptr, nullptr);
    return out;
}

std::wstring text_of(HWND hwnd) {
    std::wstring text(static_cast<std::size_t>(GetWindowTextLengthW(hwnd)) + 1, L'\0');
    text.resize(static_cast<std::size_t>(GetWindowTextW(hwnd, text.data(), text.size())));
    return text;
}

// Line breaks written out, so the text stays on one line and can be
// compared byte for byte.
std::string escaped(const std::string& text) {
    std::string out;
    for (char c : text) {
        if (c == '\r') {
            out += "\\r";
        } else if (c == '\n') {
            out += "\\n";
        } else {
            out += c;
        }
    }
    return out;
}

HWND wait_window(const wchar_t* caption) {
    for (int i = 0; i < 100; ++i) {
        if (HWND found = FindWindowW(nullptr, caption)) return found;
        Sleep(50);
    }
    return nullptr;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    const std::wstring what = argc > 1 ? argv[1] : L"";
    if (what == L"foreground" && argc == 2) {
        HWND active = GetForegroundWindow();
        if (active == nullptr) return 1;
        RECT r{};
        GetWindowRect(active, &r);
        std::printf("%ld %ld %s\n", r.right - r.left, r.bottom - r.top,
                    utf8(text_of(active)).c_str());
        return 0;
    }
    if (argc != 3) {
        std::fputs("usage: probe text|client|children CAPTION, or probe foreground\n", stderr);
        return 2;
    }
    HWND window = wait_window(argv[2]);
    if (window == nullptr) return 1;
    if (what == L"text") {
        HWND text = GetDlgItem(window, 0xFFFF);
        if (text == nullptr) return 1;
        std::printf("%s\n", escaped(utf8(text_of(text))).c_str());
    } else if (what == L"client") {
        POINT origin{0, 0};
        ClientToScreen(window, &origin);
        std::printf("%ld %ld\n", origin.x, origin.y);
    } else if (what == L"children") {
        for (HWND child = GetWindow(window, GW_CHILD); child != nullptr;
             child = GetWindow(child, GW_HWNDNEXT)) {
            wchar_t name[64] = L"";
            GetClassNameW(child, name, 64);
            std::printf("%s|%s\n", utf8(name).c_str(), escaped(utf8(text_of(child))).c_str());
        }
    } else {
        return 2;
    }
    return 0;
}
