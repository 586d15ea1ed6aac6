// The text routines and the one allocator behind them.
#include "main_window/text.h"

#include <cstdlib>
#include <cstring>

namespace tarvello::text {

namespace {
failure_handler on_failure;
allocator current_allocator = nullptr;
}  // namespace

void releaser::operator()(char* text) const {
    std::free(text);
}

std::string allocation_failure_message(std::size_t bytes) {
    return "分配 " + std::to_string(bytes) + " 字节内存失败!";
}

void set_failure_handler(failure_handler handler) {
    on_failure = std::move(handler);
}

void set_allocator(allocator alloc) {
    current_allocator = alloc;
}

char* allocate(std::size_t bytes) {
    void* memory = current_allocator ? current_allocator(bytes) : std::malloc(bytes);
    if (memory == nullptr) {
        if (on_failure) on_failure(bytes);
        std::abort();  // a handler that returns leaves nothing sound to go on with
    }
    return static_cast<char*>(memory);
}

std::size_t length(const char* text) {
    return text == nullptr ? 0 : std::strlen(text);
}

owned join(std::initializer_list<const char*> pieces) {
    std::size_t total = 1;
    for (const char* piece : pieces) total += length(piece);
    char* joined = allocate(total);
    char* end = joined;
    for (const char* piece : pieces) {
        const auto n = length(piece);
        if (n != 0) std::memcpy(end, piece, n);
        end += n;
    }
    *end = '\0';
    return owned(joined);
}

int compare(const char* a, const char* b) {
    if (a == nullptr) return (b == nullptr || *b == '\0') ? 0 : -1;
    if (b == nullptr) return *a == '\0' ? 0 : 1;
    const auto* x = reinterpret_cast<const unsigned char*>(a);
    const auto* y = reinterpret_cast<const unsigned char*>(b);
    for (;; ++x, ++y) {
        if (*x != *y) return *x < *y ? -1 : 1;
        if (*x == '\0') return 0;
    }
}

owned copy_of(const std::optional<std::string>& source) {
    if (!source || source->empty()) return nullptr;
    char* copy = allocate(source->size() + 1);
    std::memcpy(copy, source->c_str(), source->size() + 1);
    return owned(copy);
}

}  // namespace tarvello::text
