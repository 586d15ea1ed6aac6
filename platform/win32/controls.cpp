// Child controls: edit boxes and push buttons from the system's own
// classes, labels and browser panes of this program's classes, and the
// timer, which is a record only; their stacking, the names accessibility
// tools read, and the edit boxes' texts.
#include <vector>

#include "platform/win32/win32_platform.h"
// The accessibility GUIDs are defined here, in the one file that uses them.
#include <initguid.h>
// after initguid.h
#include <oleacc.h>

namespace tarvello::platform::win32 {

namespace {

// A screen reader names an edit box after the static text in front of it;
// a label this program draws itself is no static text to it, and the pane
// has no text at all. Such a control is given its name as an annotation.
void annotate_name(HWND hwnd, const std::string& name) {
    IAccPropServices* services = nullptr;
    if (FAILED(CoCreateInstance(CLSID_AccPropServices, nullptr, CLSCTX_INPROC_SERVER,
                                IID_IAccPropServices, reinterpret_cast<void**>(&services)))) {
        return;  // no accessibility services: nothing to tell
    }
    const std::wstring text = wide(name);
    services->SetHwndPropStr(hwnd, static_cast<DWORD>(OBJID_CLIENT), CHILDID_SELF, PROPID_ACC_NAME,
                             text.c_str());
    services->Release();
}

DWORD child_style(const control_settings& settings) {
    // Siblings clip each other, so the stacking order decides which covers which.
    DWORD style = WS_CHILD | WS_CLIPSIBLINGS;
    if (settings.tab_stop) style |= WS_TABSTOP;
    return style;
}

HWND make_child(DWORD ex_style, const wchar_t* window_class, const std::string& text, DWORD style,
                const rect& place, HWND parent) {
    HWND hwnd = CreateWindowExW(ex_style, window_class, wide(text).c_str(), style, place.left,
                                place.top, place.width, place.height, parent, nullptr,
                                GetModuleHandleW(nullptr), nullptr);
    if (hwnd != nullptr) SendMessageW(hwnd, WM_SETFONT, reinterpret_cast<WPARAM>(gui_font()), 0);
    return hwnd;
}

// A one-line box is never lower than one line of its font and its edges.
int edit_box_height(HWND box, int laid_out) {
    HDC dc = GetDC(box);
    HGDIOBJ old = SelectObject(dc, gui_font());
    TEXTMETRICW metrics{};
    GetTextMetricsW(dc, &metrics);
    SelectObject(dc, old);
    ReleaseDC(box, dc);
    const int least = metrics.tmHeight + 2 * GetSystemMetrics(SM_CYEDGE);
    return laid_out < least ? least : laid_out;
}

}  // namespace

HWND win32_platform::make_label(const control_settings& settings, HWND parent) {
    // The text stays the window text, so accessibility tools read it.
    return make_child(0, label_class, settings.text, child_style(settings), settings.place, parent);
}

HWND win32_platform::make_edit_box(const control_settings& settings, HWND parent) {
    // No ES_NOHIDESEL: the selection is hidden while the box has no focus.
    HWND box = make_child(WS_EX_CLIENTEDGE, L"EDIT", "",
                          child_style(settings) | ES_LEFT | ES_AUTOHSCROLL, settings.place, parent);
    if (box == nullptr) return nullptr;
    const int height = edit_box_height(box, settings.place.height);
    if (height != settings.place.height) {
        SetWindowPos(box, nullptr, 0, 0, settings.place.width, height,
                     SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    }
    return box;
}

HWND win32_platform::make_button(const control_settings& settings, HWND parent) {
    return make_child(0, L"BUTTON", settings.text,
                      child_style(settings) | BS_PUSHBUTTON | BS_MULTILINE | BS_CENTER | BS_VCENTER,
                      settings.place, parent);
}

bool win32_platform::make_browser_pane(object& made, const control_settings& settings,
                                       HWND parent) {
    made.hwnd = make_child(0, pane_class, "", child_style(settings) | WS_CLIPCHILDREN,
                           settings.place, parent);
    if (made.hwnd == nullptr) return false;
    made.site = host_browser(made.hwnd);
    if (made.site != nullptr) return true;
    // Without the system's web browser control there is no pane.
    DestroyWindow(made.hwnd);
    made.hwnd = nullptr;
    return false;
}

handle win32_platform::create_control(handle window, const control_settings& settings) {
    auto* parent = find(window);
    if (parent == nullptr || !parent->is_window || parent->hwnd == nullptr) return no_handle;
    auto made = std::make_unique<object>();
    made->kind = settings.kind;
    made->parent = window;
    made->label = settings.label;
    switch (settings.kind) {
        case control_kind::timer:
            return add(std::move(made));  // its ticks come as WM_TIMER to its window
        case control_kind::label:
            made->hwnd = make_label(settings, parent->hwnd);
            break;
        case control_kind::edit_box:
            made->hwnd = make_edit_box(settings, parent->hwnd);
            break;
        case control_kind::push_button:
            made->hwnd = make_button(settings, parent->hwnd);
            break;
        case control_kind::browser_pane:
            if (!make_browser_pane(*made, settings, parent->hwnd)) return no_handle;
            break;
    }
    if (made->hwnd == nullptr) return no_handle;
    if (!settings.accessible_name.empty()) annotate_name(made->hwnd, settings.accessible_name);
    return add(std::move(made));
}

void win32_platform::set_labelled_by(handle control, handle label) {
    const auto* named = find(control);
    const auto* naming = find(label);
    if (named == nullptr || naming == nullptr || naming->kind != control_kind::label) return;
    if (named->hwnd == nullptr || naming->hwnd == nullptr) return;
    // The label keeps its text as its window text.
    const int length = GetWindowTextLengthW(naming->hwnd);
    if (length <= 0) return;
    std::vector<wchar_t> held(static_cast<std::size_t>(length) + 1);
    const int got = GetWindowTextW(naming->hwnd, held.data(), length + 1);
    if (got > 0) annotate_name(named->hwnd, utf8(held.data(), got));
}

void win32_platform::stack_controls(handle window, std::span<const handle> top_to_bottom) {
    if (find(window) == nullptr) return;
    HWND above = HWND_TOP;
    for (handle c : top_to_bottom) {
        const auto* control = find(c);
        if (control == nullptr || control->hwnd == nullptr) continue;
        SetWindowPos(control->hwnd, above, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
        above = control->hwnd;
    }
}

std::optional<std::string> win32_platform::text(handle edit_box) const {
    const auto* o = find(edit_box);
    if (o == nullptr || o->kind != control_kind::edit_box || o->hwnd == nullptr) return {};
    const int length = GetWindowTextLengthW(o->hwnd);
    if (length <= 0) return std::nullopt;
    std::vector<wchar_t> held(static_cast<std::size_t>(length) + 1);
    const int got = GetWindowTextW(o->hwnd, held.data(), length + 1);
    if (got <= 0) return std::nullopt;
    return utf8(held.data(), got);
}

}  // namespace tarvello::platform::win32
