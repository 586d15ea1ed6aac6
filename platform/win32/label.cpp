// Labels that paint themselves: fill with the dialog-face colour, then the
// window text in its colour with DrawTextW and no background behind the
// glyphs; wrapped from the top at "\r\n" and words, or one line placed by
// the vertical alignment; clipped to the label.
#include "platform/win32/win32_platform.h"

namespace tarvello::platform::win32 {

const wchar_t* const label_class = L"TarvelloLabel";

namespace {

UINT draw_flags(const label_style& style) {
    UINT flags = DT_NOPREFIX;  // no text of the program marks an access key
    switch (style.horizontal) {
        case h_align::centre:
            flags |= DT_CENTER;
            break;
        case h_align::right:
            flags |= DT_RIGHT;
            break;
        default:
            flags |= DT_LEFT;
    }
    if (style.word_wrap) return flags | DT_WORDBREAK | DT_TOP;
    flags |= DT_SINGLELINE;  // a "\r\n" in the text does not break it
    switch (style.vertical) {
        case v_align::top:
            return flags | DT_TOP;
        case v_align::bottom:
            return flags | DT_BOTTOM;
        default:
            return flags | DT_VCENTER;
    }
}

void paint(HWND hwnd, const label_style& style) {
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(hwnd, &ps);
    RECT area{};
    GetClientRect(hwnd, &area);
    FillRect(dc, &area, GetSysColorBrush(COLOR_BTNFACE));
    const int length = GetWindowTextLengthW(hwnd);
    std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
    const int got = GetWindowTextW(hwnd, text.data(), length + 1);
    text.resize(got > 0 ? static_cast<std::size_t>(got) : 0);
    HGDIOBJ old = SelectObject(dc, gui_font());
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, RGB(style.text.red, style.text.green, style.text.blue));
    // The paint DC is the label's own client area: nothing lands outside it.
    DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &area, draw_flags(style));
    SelectObject(dc, old);
    EndPaint(hwnd, &ps);
}

}  // namespace

LRESULT CALLBACK label_procedure(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
    switch (message) {
        case WM_PAINT: {
            label_style style;
            if (auto* backend = current_backend()) {
                if (const auto* o = backend->owner_of(hwnd); o != nullptr && o->hwnd == hwnd) {
                    style = o->label;
                }
            }
            paint(hwnd, style);
            return 0;
        }
        case WM_ERASEBKGND:
            return 1;  // the paint fills the whole label
        case WM_SETTEXT: {
            const LRESULT done = DefWindowProcW(hwnd, message, wparam, lparam);
            InvalidateRect(hwnd, nullptr, FALSE);
            return done;
        }
        case WM_NCHITTEST:
            return HTTRANSPARENT;  // clicks go to what lies under the label
        default:
            return DefWindowProcW(hwnd, message, wparam, lparam);
    }
}

}  // namespace tarvello::platform::win32
