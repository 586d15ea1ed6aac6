// The Win32 backend: every handle maps to a window (or, for a timer, to a
// record only). Texts are UTF-8 inside the program and UTF-16 at every
// Win32 call, so captions and labels read right whatever the system's ANSI
// code page is.
#pragma once

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
// after windows.h
#include <exdisp.h>
#include <ole2.h>

#include <map>
#include <memory>
#include <string>

#include "platform/platform.h"

namespace tarvello::platform::win32 {

class browser_site;

// A drift-free periodic timer: tick n at start + n * period on the
// performance counter, each wait set for the time left (timer.cpp).
struct grid_timer {
    int period_ms = 0;
    LONGLONG start = 0;   // performance-counter count when started
    LONGLONG next_n = 0;  // the grid point the armed wait is for
};

struct object {
    handle id = no_handle;
    bool is_window = false;
    window_kind kind_of_window = window_kind::main;
    control_kind kind = control_kind::label;
    handle parent = no_handle;     // a control's window
    HWND hwnd = nullptr;           // none for timers
    label_style label;             // labels
    grid_timer timer;              // timers
    browser_site* site = nullptr;  // browser panes
};

class win32_platform final : public platform {
public:
    win32_platform();
    ~win32_platform() override;

    bool open_display() override;
    void set_event_sink(event_sink* sink) override { sink_ = sink; }
    std::optional<std::string> prepare_engine() override;
    void release_engine() override;

    std::string executable_path() override;
    char path_separator() const override { return '\\'; }
    bool set_current_directory(const std::string& path) override;
    [[noreturn]] void exit_process(int code) override;

    size primary_display_size() override;

    handle create_window(const window_settings& settings) override;
    handle create_control(handle window, const control_settings& settings) override;
    void stack_controls(handle window, std::span<const handle> top_to_bottom) override;
    void set_labelled_by(handle control, handle label) override;
    void show(handle id) override;
    void activate(handle window) override;
    void destroy(handle window) override;
    bool exists(handle id) const override;

    void set_enabled(handle id, bool enabled) override;
    bool is_enabled(handle id) const override;
    bool is_visible(handle id) const override;

    void set_focus(handle control) override;
    handle focused_control(handle window) const override;
    rect geometry(handle id) const override;

    std::optional<std::string> text(handle edit_box) const override;
    void navigate(handle pane, const std::string& address) override;
    void reload(handle pane) override;

    void start_timer(handle timer, int period_ms) override;
    void stop_timer(handle timer) override;
    int timer_period(handle timer) const override;

    void error_box(const std::string& caption, const std::string& text) override;

    bool wait_and_dispatch() override;
    void post_quit(int code) override;
    int quit_code() const override { return quit_code_; }

    // Used by the window procedures.
    event_sink* sink() const { return sink_; }
    object* find(handle id);
    const object* find(handle id) const;
    // The record of a window or control, or of the nearest ancestor that has one.
    object* owner_of(HWND hwnd);
    const object* owner_of(HWND hwnd) const;
    void timer_fired(object& timer);

private:
    handle add(std::unique_ptr<object> made);
    void forget(handle id);
    HWND make_label(const control_settings& settings, HWND parent);
    HWND make_edit_box(const control_settings& settings, HWND parent);
    HWND make_button(const control_settings& settings, HWND parent);
    bool make_browser_pane(object& made, const control_settings& settings, HWND parent);
    void arm(object& timer);
    bool pre_translate(MSG& msg);
    bool offer_to_page(const object& pane, MSG& msg, const key_press& press);

    event_sink* sink_ = nullptr;
    std::map<handle, std::unique_ptr<object>> objects_;
    std::map<HWND, handle> by_hwnd_;
    handle next_handle_ = 1;
    bool quit_seen_ = false;
    int quit_code_ = 0;
};

// UTF-8 inside, UTF-16 at the boundary.
std::wstring wide(const std::string& utf8);
std::string utf8(const wchar_t* text, int length = -1);

// Window classes and their procedures (window.cpp, label.cpp, browser_pane.cpp).
extern const wchar_t* const window_class;
extern const wchar_t* const hidden_class;
extern const wchar_t* const label_class;
extern const wchar_t* const pane_class;
void register_classes(HINSTANCE instance);
LRESULT CALLBACK label_procedure(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam);
LRESULT CALLBACK pane_procedure(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam);
win32_platform* current_backend();

// The browser pane's OLE host (browser_pane.cpp).
browser_site* host_browser(HWND pane);  // nullptr when the control cannot be had
void close_browser(browser_site* site);
void browser_navigate(browser_site& site, const std::string& address);
void browser_reload(browser_site& site);
bool browser_shows_page(const browser_site& site);
void browser_focus(browser_site& site);
// The page's own keys: S_OK when the page took the message.
HRESULT browser_translate(browser_site& site, MSG& msg);

// The stock dialog font every window and control uses.
HFONT gui_font();

}  // namespace tarvello::platform::win32
