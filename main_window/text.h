// The program's texts: NUL-terminated bytes, absent (null) when a control is
// empty, owned by whoever read or built them. Every allocation goes through
// one allocator, which ends the program through the fatal-error stop when
// memory cannot be had, so no caller tests for a failed one.
#pragma once

#include <cstddef>
#include <functional>
#include <initializer_list>
#include <memory>
#include <optional>
#include <string>

namespace tarvello::text {

struct releaser {
    void operator()(char* text) const;
};
// An owned text; empty (null) stands for the absent text.
using owned = std::unique_ptr<char, releaser>;

// The message for a failed allocation of `bytes` bytes.
std::string allocation_failure_message(std::size_t bytes);

// Where a failed allocation goes; it must not return. The shell installs
// the fatal-error stop here.
using failure_handler = std::function<void(std::size_t bytes)>;
void set_failure_handler(failure_handler handler);
// Replaces the allocator (tests inject failures); null puts malloc back.
using allocator = void* (*)(std::size_t bytes);
void set_allocator(allocator alloc);

// A new buffer of `bytes` bytes; never null.
char* allocate(std::size_t bytes);

// Number of bytes before the NUL; 0 for an absent text.
std::size_t length(const char* text);
// A new text holding the pieces one after another; absent pieces add
// nothing; never absent.
owned join(std::initializer_list<const char*> pieces);
// -1, 0 or 1, bytewise as unsigned values; absent equals empty.
int compare(const char* a, const char* b);
// A new copy of a control's text, absent when it is empty.
owned copy_of(const std::optional<std::string>& source);

}  // namespace tarvello::text
