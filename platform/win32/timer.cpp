// The refresh timer: tick n falls due at start + n * period on the
// performance counter. Each wait is a one-shot SetTimer for the time left
// to the next grid point, re-armed on every tick, so the latency of one
// tick never shifts the next (a plain periodic SetTimer drifts by its
// granularity). When the thread was busy past one or more grid points,
// WM_TIMER comes once and the next wait is for the first point still ahead.
#include "platform/win32/win32_platform.h"

namespace tarvello::platform::win32 {

namespace {

LONGLONG counter_now() {
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return now.QuadPart;
}

LONGLONG counts_per_second() {
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    return frequency.QuadPart;
}

LONGLONG period_counts(const grid_timer& t) {
    return t.period_ms * counts_per_second() / 1000;
}

LONGLONG due(const grid_timer& t) {
    return t.start + t.next_n * period_counts(t);
}

}  // namespace

void win32_platform::arm(object& timer) {
    const auto* window = find(timer.parent);
    if (window == nullptr || window->hwnd == nullptr) return;
    const LONGLONG left = due(timer.timer) - counter_now();
    const LONGLONG per_ms = counts_per_second() / 1000;
    // Rounded up: a wait never ends before its grid point.
    LONGLONG ms = left <= 0 ? 0 : (left + per_ms - 1) / per_ms;
    if (ms < USER_TIMER_MINIMUM) ms = USER_TIMER_MINIMUM;
    SetTimer(window->hwnd, timer.id, static_cast<UINT>(ms), nullptr);
}

void win32_platform::timer_fired(object& timer) {
    grid_timer& t = timer.timer;
    if (t.period_ms <= 0) return;
    const LONGLONG now = counter_now();
    // A wait the system ended early by less than a millisecond still counts.
    if (now < due(t) - counts_per_second() / 1000) {
        arm(timer);
        return;
    }
    t.next_n = (now - t.start) / period_counts(t) + 1;
    arm(timer);
    if (sink_ != nullptr) sink_->tick(timer.id);
}

void win32_platform::start_timer(handle timer, int period_ms) {
    auto* o = find(timer);
    if (o == nullptr || o->kind != control_kind::timer || period_ms <= 0) return;
    o->timer = {period_ms, counter_now(), 1};
    arm(*o);
}

void win32_platform::stop_timer(handle timer) {
    auto* o = find(timer);
    if (o == nullptr || o->kind != control_kind::timer) return;
    if (const auto* window = find(o->parent)) KillTimer(window->hwnd, o->id);
    o->timer = {};
}

int win32_platform::timer_period(handle timer) const {
    const auto* o = find(timer);
    return o == nullptr ? 0 : o->timer.period_ms;
}

}  // namespace tarvello::platform::win32
