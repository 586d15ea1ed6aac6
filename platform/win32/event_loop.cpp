// The thread's message queue (wait, pre-translate, translate, dispatch),
// the keys offered to the program before any control sees them, the
// process services, the text conversions and the backend's entry point.
#include <vector>

#include "platform/backend.h"
#include "platform/win32/win32_platform.h"

namespace tarvello::platform::win32 {

std::wstring wide(const std::string& utf8_text) {
    if (utf8_text.empty()) return {};
    const int n = MultiByteToWideChar(CP_UTF8, 0, utf8_text.data(),
                                      static_cast<int>(utf8_text.size()), nullptr, 0);
    std::wstring out(static_cast<std::size_t>(n > 0 ? n : 0), L'\0');
    if (n > 0) {
        MultiByteToWideChar(CP_UTF8, 0, utf8_text.data(), static_cast<int>(utf8_text.size()),
                            out.data(), n);
    }
    return out;
}

std::string utf8(const wchar_t* text, int length) {
    if (text == nullptr || length == 0) return {};
    const int n = WideCharToMultiByte(CP_UTF8, 0, text, length, nullptr, 0, nullptr, nullptr);
    if (n <= 0) return {};
    std::string out(static_cast<std::size_t>(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text, length, out.data(), n, nullptr, nullptr);
    if (length < 0 && !out.empty() && out.back() == '\0') out.pop_back();
    return out;
}

namespace {

bool held(int virtual_key) {
    return (GetKeyState(virtual_key) & 0x8000) != 0;
}

key_press translate_key(const MSG& msg) {
    key_press press;
    press.mods = {held(VK_SHIFT), held(VK_CONTROL), held(VK_MENU)};
    const auto code = static_cast<int>(msg.wParam);
    if (code == VK_TAB) {
        press.which = key::tab;
    } else if (code == VK_ESCAPE) {
        press.which = key::escape;
    } else if (code == VK_RETURN) {
        press.which = key::enter;
    } else if (code == VK_F1) {
        press.which = key::f1;
    } else if (code == VK_SPACE) {
        press.which = key::space;
    } else if ((code >= 'A' && code <= 'Z') || (code >= '0' && code <= '9')) {
        press.which = key::letter_or_digit;
    }
    return press;
}

bool is_key_down(UINT message) {
    return message == WM_KEYDOWN || message == WM_SYSKEYDOWN;
}

}  // namespace

// A key on its way to a control (or a window) is the program's first. A
// page in a browser pane then gets the keys the program left, Tab among
// them, through the control's TranslateAccelerator; a Tab the page has no
// further stop for is offered again, marked passed on by the page.
bool win32_platform::pre_translate(MSG& msg) {
    if (msg.message < WM_KEYFIRST || msg.message > WM_KEYLAST || sink_ == nullptr) return false;
    const object* target = owner_of(msg.hwnd);
    if (target == nullptr) return false;
    const bool is_pane = target->kind == control_kind::browser_pane && !target->is_window;
    const bool to_page = is_pane && target->site != nullptr && browser_shows_page(*target->site);
    key_press press = translate_key(msg);
    if (is_key_down(msg.message)) {
        // A pane that shows no page has no field to take the key.
        press.passed_on_by_page = is_pane && !to_page;
        if (sink_->pre_translate(target->id, press)) return true;
    }
    return to_page && offer_to_page(*target, msg, press);
}

bool win32_platform::offer_to_page(const object& pane, MSG& msg, const key_press& press) {
    const handle id = pane.id;
    if (browser_translate(*pane.site, msg) == S_OK) return true;
    if (msg.message != WM_KEYDOWN || press.which != key::tab || sink_ == nullptr) return false;
    if (find(id) == nullptr) return true;  // the page's key closed the pane's window
    key_press again = press;
    again.passed_on_by_page = true;
    return sink_->pre_translate(id, again);
}

bool win32_platform::wait_and_dispatch() {
    if (quit_seen_) return false;
    MSG msg;
    const BOOL got = GetMessageW(&msg, nullptr, 0, 0);
    if (got == 0 || got == -1) {
        // Left in place for every loop outside this one.
        quit_seen_ = true;
        quit_code_ = got == 0 ? static_cast<int>(msg.wParam) : quit_code_;
        PostQuitMessage(quit_code_);
        return false;
    }
    if (pre_translate(msg)) return true;
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
    return true;
}

void win32_platform::post_quit(int code) {
    quit_code_ = code;
    PostQuitMessage(code);
}

std::string win32_platform::executable_path() {
    std::vector<wchar_t> path(MAX_PATH);
    for (;;) {
        const DWORD n = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (n == 0) return {};
        if (n < path.size()) return utf8(path.data(), static_cast<int>(n));
        path.resize(path.size() * 2);  // cut short: try a larger buffer
    }
}

bool win32_platform::set_current_directory(const std::string& path) {
    return SetCurrentDirectoryW(wide(path).c_str()) != 0;
}

void win32_platform::exit_process(int code) {
    ExitProcess(static_cast<UINT>(code));
}

}  // namespace tarvello::platform::win32

namespace tarvello::platform {

std::unique_ptr<platform> make_platform() {
    return std::make_unique<win32::win32_platform>();
}

}  // namespace tarvello::platform
