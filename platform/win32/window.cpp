// Top-level windows: the window classes, the procedure that turns window
// messages into the program's events, and creating, showing, activating,
// enabling and destroying windows.
#include <algorithm>
#include <utility>

#include "platform/win32/win32_platform.h"

namespace tarvello::platform::win32 {

const wchar_t* const window_class = L"TarvelloWindow";
const wchar_t* const hidden_class = L"TarvelloHidden";

namespace {

win32_platform* the_platform = nullptr;

// Reports what happens to a window of the program; everything else is the
// system's default handling.
LRESULT CALLBACK window_procedure(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
    auto* self = the_platform;
    object* o = self != nullptr ? self->owner_of(hwnd) : nullptr;
    if (message == WM_GETMINMAXINFO) {
        // A window larger than the screen keeps its size: the place and size
        // are the program's to choose, and a small screen shows part of it.
        auto* info = reinterpret_cast<MINMAXINFO*>(lparam);
        info->ptMaxTrackSize.x = std::max<LONG>(info->ptMaxTrackSize.x, 8192);
        info->ptMaxTrackSize.y = std::max<LONG>(info->ptMaxTrackSize.y, 8192);
        return 0;
    }
    if (o == nullptr || o->hwnd != hwnd || self->sink() == nullptr) {
        return DefWindowProcW(hwnd, message, wparam, lparam);
    }
    const handle id = o->id;
    switch (message) {
        case WM_CLOSE:
            // The program destroys its windows itself, when it decides to;
            // a disabled window refuses a close as it refuses input.
            if (IsWindowEnabled(hwnd)) self->sink()->close_requested(id);
            return 0;
        case WM_ACTIVATE:
            if (LOWORD(wparam) == WA_INACTIVE) {
                self->sink()->deactivated(id);
                return 0;
            }
            break;  // the default handling gives the window the focus
        case WM_SETFOCUS:
            // The window itself got the focus: it hands it to a control.
            self->sink()->activated(id);
            return 0;
        case WM_COMMAND:
            if (HIWORD(wparam) == BN_CLICKED && lparam != 0) {
                if (const auto* button = self->owner_of(reinterpret_cast<HWND>(lparam))) {
                    self->sink()->clicked(button->id);
                }
                return 0;
            }
            break;
        case WM_TIMER:
            if (auto* timer = self->find(static_cast<handle>(wparam));
                timer != nullptr && timer->kind == control_kind::timer) {
                self->timer_fired(*timer);
            }
            return 0;
        default:
            break;
    }
    return DefWindowProcW(hwnd, message, wparam, lparam);
}

HICON load_icon(int width, int height) {
    return static_cast<HICON>(LoadImageW(GetModuleHandleW(nullptr), L"DEFAULT_ICON", IMAGE_ICON,
                                         width, height, LR_DEFAULTCOLOR));
}

}  // namespace

win32_platform* current_backend() {
    return the_platform;
}

HFONT gui_font() {
    return static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
}

void register_classes(HINSTANCE instance) {
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.hInstance = instance;
    wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);

    wc.lpfnWndProc = window_procedure;
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    wc.lpszClassName = window_class;
    RegisterClassExW(&wc);

    // The hidden application window: no brush, no icon, never shown.
    wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(NULL_BRUSH));
    wc.lpszClassName = hidden_class;
    RegisterClassExW(&wc);

    wc.lpfnWndProc = label_procedure;
    wc.hbrBackground = nullptr;  // a label paints its whole rectangle itself
    wc.lpszClassName = label_class;
    RegisterClassExW(&wc);

    wc.lpfnWndProc = pane_procedure;
    wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
    wc.lpszClassName = pane_class;
    RegisterClassExW(&wc);
}

win32_platform::win32_platform() {
    the_platform = this;
}

win32_platform::~win32_platform() {
    the_platform = nullptr;
}

bool win32_platform::open_display() {
    register_classes(GetModuleHandleW(nullptr));
    return GetDesktopWindow() != nullptr;
}

object* win32_platform::find(handle id) {
    auto o = objects_.find(id);
    return o == objects_.end() ? nullptr : o->second.get();
}

const object* win32_platform::find(handle id) const {
    auto o = objects_.find(id);
    return o == objects_.end() ? nullptr : o->second.get();
}

const object* win32_platform::owner_of(HWND hwnd) const {
    // The browser control's own windows are children of its pane.
    for (; hwnd != nullptr; hwnd = GetParent(hwnd)) {
        if (auto h = by_hwnd_.find(hwnd); h != by_hwnd_.end()) return find(h->second);
    }
    return nullptr;
}

object* win32_platform::owner_of(HWND hwnd) {
    return const_cast<object*>(std::as_const(*this).owner_of(hwnd));
}

handle win32_platform::add(std::unique_ptr<object> made) {
    made->id = next_handle_++;
    if (made->hwnd != nullptr) by_hwnd_[made->hwnd] = made->id;
    const handle id = made->id;
    objects_[id] = std::move(made);
    return id;
}

void win32_platform::forget(handle id) {
    auto o = objects_.find(id);
    if (o == objects_.end()) return;
    if (o->second->hwnd != nullptr) by_hwnd_.erase(o->second->hwnd);
    objects_.erase(o);
}

handle win32_platform::create_window(const window_settings& settings) {
    HINSTANCE instance = GetModuleHandleW(nullptr);
    auto made = std::make_unique<object>();
    made->is_window = true;
    made->kind_of_window = settings.kind;
    if (settings.kind == window_kind::hidden_owner) {
        made->hwnd = CreateWindowExW(WS_EX_TOOLWINDOW, hidden_class, L"", 0, 0, 0, 0, 0, nullptr,
                                     nullptr, instance, nullptr);
        return made->hwnd == nullptr ? no_handle : add(std::move(made));
    }
    DWORD style = WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN;
    if (settings.minimise_box) style |= WS_MINIMIZEBOX;
    if (settings.maximise_box) style |= WS_MAXIMIZEBOX;
    const object* owner = find(settings.owner);
    const rect& r = settings.outer;
    made->hwnd = CreateWindowExW(0, window_class, wide(settings.caption).c_str(), style, r.left,
                                 r.top, r.width, r.height, owner ? owner->hwnd : nullptr, nullptr,
                                 instance, nullptr);
    if (made->hwnd == nullptr) return no_handle;
    HWND hwnd = made->hwnd;
    // Exactly the size asked for, whatever the frame made of it.
    RECT got{};
    GetWindowRect(hwnd, &got);
    if (got.right - got.left != r.width || got.bottom - got.top != r.height || got.left != r.left ||
        got.top != r.top) {
        SetWindowPos(hwnd, nullptr, r.left, r.top, r.width, r.height,
                     SWP_NOZORDER | SWP_NOACTIVATE);
    }
    if (settings.with_icon) {
        if (HICON big = load_icon(32, 32)) SendMessageW(hwnd, WM_SETICON, ICON_BIG, (LPARAM)big);
        if (HICON small = load_icon(GetSystemMetrics(SM_CXSMICON), GetSystemMetrics(SM_CYSMICON))) {
            SendMessageW(hwnd, WM_SETICON, ICON_SMALL, (LPARAM)small);
        }
    }
    SendMessageW(hwnd, WM_SETFONT, reinterpret_cast<WPARAM>(gui_font()), FALSE);
    return add(std::move(made));
}

void win32_platform::show(handle id) {
    auto* o = find(id);
    if (o == nullptr || o->hwnd == nullptr) return;
    ShowWindow(o->hwnd, o->is_window ? SW_SHOWNORMAL : SW_SHOW);
}

void win32_platform::activate(handle window) {
    auto* o = find(window);
    if (o == nullptr || !o->is_window || o->hwnd == nullptr) return;
    SetForegroundWindow(o->hwnd);
    if (GetActiveWindow() != o->hwnd) SetActiveWindow(o->hwnd);
}

void win32_platform::destroy(handle window) {
    auto* o = find(window);
    if (o == nullptr || !o->is_window) return;
    HWND hwnd = o->hwnd;
    // The controls' records go first: messages that come while the system
    // takes the window down find no record and reach no action.
    for (auto c = objects_.begin(); c != objects_.end();) {
        object& control = *c->second;
        if (control.is_window || control.parent != window) {
            ++c;
            continue;
        }
        if (control.kind == control_kind::timer) KillTimer(hwnd, control.id);
        if (control.site != nullptr) close_browser(control.site);
        if (control.hwnd != nullptr) by_hwnd_.erase(control.hwnd);
        c = objects_.erase(c);
    }
    forget(window);
    DestroyWindow(hwnd);
    if (sink_ != nullptr) sink_->destroyed(window);
}

bool win32_platform::exists(handle id) const {
    return find(id) != nullptr;
}

void win32_platform::set_enabled(handle id, bool enabled) {
    if (auto* o = find(id); o != nullptr && o->hwnd != nullptr) EnableWindow(o->hwnd, enabled);
}

bool win32_platform::is_enabled(handle id) const {
    const auto* o = find(id);
    if (o == nullptr) return false;
    return o->hwnd == nullptr || IsWindowEnabled(o->hwnd);
}

bool win32_platform::is_visible(handle id) const {
    const auto* o = find(id);
    return o != nullptr && o->hwnd != nullptr && IsWindowVisible(o->hwnd);
}

void win32_platform::set_focus(handle control) {
    auto* o = find(control);
    if (o == nullptr || o->hwnd == nullptr || o->is_window) return;
    if (o->site != nullptr) {
        browser_focus(*o->site);
        return;
    }
    SetFocus(o->hwnd);
}

handle win32_platform::focused_control(handle window) const {
    const auto* w = find(window);
    const auto* c = owner_of(GetFocus());
    if (w == nullptr || c == nullptr || c->is_window || c->parent != window) return no_handle;
    return c->id;
}

rect win32_platform::geometry(handle id) const {
    const auto* o = find(id);
    if (o == nullptr || o->hwnd == nullptr) return {};
    RECT r{};
    GetWindowRect(o->hwnd, &r);
    if (!o->is_window) {
        if (const auto* parent = find(o->parent)) {
            MapWindowPoints(nullptr, parent->hwnd, reinterpret_cast<POINT*>(&r), 2);
        }
    }
    return {r.left, r.top, r.right - r.left, r.bottom - r.top};
}

size win32_platform::primary_display_size() {
    return {GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
}

}  // namespace tarvello::platform::win32
