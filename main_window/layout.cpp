// Rules derived from the layout data: keyboard order and centring.
#include "main_window/layout.h"

#include <algorithm>

namespace tarvello::main_window {

std::vector<std::size_t> keyboard_order(std::span<const control_row> rows) {
    std::vector<std::size_t> order;
    for (std::size_t i = 0; i < rows.size(); ++i) {
        if (rows[i].tab_stop) order.push_back(i);
    }
    std::sort(order.begin(), order.end(), [rows](std::size_t a, std::size_t b) {
        if (rows[a].tab_rank != rows[b].tab_rank) return rows[a].tab_rank < rows[b].tab_rank;
        return a > b;
    });
    return order;
}

platform::rect centred(platform::size screen, platform::size outer) {
    return {(screen.width - outer.width) / 2, (screen.height - outer.height) / 2, outer.width,
            outer.height};
}

}  // namespace tarvello::main_window
