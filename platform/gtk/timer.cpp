// A periodic GSource that keeps to an absolute grid: tick n falls due at
// start + n * period on the monotonic clock. g_timeout_add re-arms from the
// moment of dispatch and so drifts by the dispatch latency on every tick.
// When the thread was busy past one or more grid points, the tick comes once
// and the next one is the first grid point still ahead.
#include "platform/gtk/gtk_platform.h"

namespace tarvello::platform::gtk {

struct tick_source {
    GSource base;
    gint64 start_us;
    gint64 period_us;
    gint64 next_n;
    void (*on_tick)(void*);
    void* data;
};

namespace {

gboolean dispatch_tick(GSource* source, GSourceFunc, gpointer) {
    auto* self = reinterpret_cast<tick_source*>(source);
    const gint64 now = g_get_monotonic_time();
    const gint64 elapsed_periods = (now - self->start_us) / self->period_us;
    self->next_n = elapsed_periods + 1;
    g_source_set_ready_time(source, self->start_us + self->next_n * self->period_us);
    self->on_tick(self->data);
    return G_SOURCE_CONTINUE;
}

GSourceFuncs tick_funcs = {nullptr, nullptr, dispatch_tick, nullptr, nullptr, nullptr};

}  // namespace

tick_source* start_tick_source(int period_ms, void (*on_tick)(void*), void* data) {
    GSource* source = g_source_new(&tick_funcs, sizeof(tick_source));
    auto* self = reinterpret_cast<tick_source*>(source);
    self->start_us = g_get_monotonic_time();
    self->period_us = static_cast<gint64>(period_ms) * 1000;
    self->next_n = 1;
    self->on_tick = on_tick;
    self->data = data;
    g_source_set_name(source, "tarvello refresh timer");
    // Ticks must also come inside nested loops run from a click.
    g_source_set_can_recurse(source, TRUE);
    g_source_set_ready_time(source, self->start_us + self->period_us);
    g_source_attach(source, nullptr);
    return self;
}

void stop_tick_source(tick_source* source) {
    if (source == nullptr) return;
    g_source_destroy(&source->base);
    g_source_unref(&source->base);
}

namespace {

void on_timer(void* data) {
    auto* timer = record_of(data);
    if (timer != nullptr && current_backend()->sink() != nullptr)
        current_backend()->sink()->tick(timer->id);
}

}  // namespace

void gtk_platform::start_timer(handle timer, int period_ms) {
    auto* o = find(timer);
    if (o == nullptr || o->kind != control_kind::timer || period_ms <= 0) return;
    stop_tick_source(o->timer);
    o->timer = start_tick_source(period_ms, on_timer, GUINT_TO_POINTER(timer));
    o->period_ms = period_ms;
}

void gtk_platform::stop_timer(handle timer) {
    auto* o = find(timer);
    if (o == nullptr) return;
    stop_tick_source(o->timer);
    o->timer = nullptr;
    o->period_ms = 0;
}

int gtk_platform::timer_period(handle timer) const {
    const auto* o = find(timer);
    return o == nullptr ? 0 : o->period_ms;
}
}  // namespace tarvello::platform::gtk
