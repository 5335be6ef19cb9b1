// The test overrides of the personality's answers: keys, outcomes and the C entry points
// (lumvik_control_*) that the Python tests call.
#include "control.h"

#include <atomic>
#include <cstring>
#include <map>
#include <mutex>

#include "freebsd/c_interface.h"

namespace control {
namespace {

struct Override {
    Action action;
    std::string bytes;
    int err;
    int times;               // grow: fetches left to fail
    bool fetches_only = false;  // fail: size probes still answer
    int answers_left = -1;      // answer: fetches still answered, -1 without end; then the host's
    bool answer_after = false;  // grow: bytes answer once the growth is over
};

std::mutex registry_lock;
std::map<std::string, Override, std::less<>> registry;
std::atomic<bool> any_override{false};  // the hot path reads only this

// {CTL_NET, PF_ROUTE} was keyed "net.route" before it took FreeBSD's name, "net.routetable":
// tests written then still reach it.
std::string canonical_key(std::string_view key) {
    constexpr std::string_view old_name = "net.route", name = "net.routetable";
    if (key.starts_with(old_name) && (key.size() == old_name.size() || key[old_name.size()] == '.'))
        return std::string(name).append(key.substr(old_name.size()));
    return std::string(key);
}

void set(const char *key, Override o) {
    std::lock_guard guard(registry_lock);
    registry.insert_or_assign(canonical_key(key), std::move(o));
    any_override.store(true, std::memory_order_release);
}

}  // namespace

bool active() { return any_override.load(std::memory_order_acquire); }

namespace {

// The override of full, else of key.
Outcome lookup(std::string_view key, const std::string &full, bool fetch) {
    std::lock_guard guard(registry_lock);
    auto it = registry.find(full);
    if (it == registry.end())
        it = registry.find(key);
    if (it == registry.end())
        return {};
    Override &o = it->second;
    if (o.action == Action::fail && o.fetches_only && !fetch)
        return {};
    if (o.action == Action::answer && o.answers_left == 0)
        return {};
    if (o.action == Action::answer && fetch && o.answers_left > 0)
        --o.answers_left;
    if (o.action != Action::grow)
        return {o.action, o.bytes, o.err};
    if (!fetch || o.times <= 0)
        return o.answer_after ? Outcome{Action::answer, o.bytes, 0} : Outcome{};
    --o.times;
    return {Action::grow, {}, 0};
}

}  // namespace

Outcome consult(std::string_view key, std::span<const int> args, bool fetch) {
    if (!any_override.load(std::memory_order_acquire))
        return {};
    std::string full(key);
    for (int arg : args)
        full += '.' + std::to_string(arg);
    return lookup(key, full, fetch);
}

Outcome consult_named(std::string_view key, std::string_view name, bool fetch) {
    if (!any_override.load(std::memory_order_acquire))
        return {};
    std::string full(key);
    full += '.';
    full += name;
    return lookup(key, full, fetch);
}

}  // namespace control

// The interface tests reach through ctypes on the module's file.
#define CONTROL_API extern "C" __attribute__((visibility("default")))

CONTROL_API void lumvik_control_answer(const char *key, const void *bytes, size_t len) {
    without_exceptions([&] {
        control::set(key, {control::Action::answer, std::string(static_cast<const char *>(bytes), len), 0, 0});
    });
}

// Answers these bytes to the next `fetches` reads into a buffer (and the probes meanwhile), then
// lets the host answer again.
CONTROL_API void lumvik_control_answer_fetches(const char *key, const void *bytes, size_t len, int fetches) {
    without_exceptions([&] {
        control::set(key, {control::Action::answer, std::string(static_cast<const char *>(bytes), len), 0, 0, false,
                           fetches});
    });
}

CONTROL_API void lumvik_control_fail(const char *key, int err) {
    without_exceptions([&] { control::set(key, {control::Action::fail, {}, err, 0}); });
}

// Fails only reads into a buffer: the size probe before them succeeds.
CONTROL_API void lumvik_control_fail_fetch(const char *key, int err) {
    without_exceptions([&] { control::set(key, {control::Action::fail, {}, err, 0, true}); });
}

// A node answered with bytes keeps answering them once it has grown.
CONTROL_API void lumvik_control_grow(const char *key, int times) {
    without_exceptions([&] {
        control::Override o{control::Action::grow, {}, 0, times};
        {
            std::lock_guard guard(control::registry_lock);
            auto it = control::registry.find(control::canonical_key(key));
            if (it != control::registry.end() && it->second.action == control::Action::answer) {
                o.bytes = it->second.bytes;
                o.answer_after = true;
            }
        }
        control::set(key, std::move(o));
    });
}

// Removes the override of key, or every override when key is NULL.
CONTROL_API void lumvik_control_clear(const char *key) {
    without_exceptions([&] {
        std::lock_guard guard(control::registry_lock);
        if (key == nullptr)
            control::registry.clear();
        else
            control::registry.erase(control::canonical_key(key));
        control::any_override.store(!control::registry.empty(), std::memory_order_release);
    });
}

namespace {

constexpr size_t kPaintedStack = 64 * 1024;

// Fills the stack below the caller with `fill` and returns, leaving the bytes there for the
// next call to find in its uninitialised locals.
[[gnu::noinline]] void paint_stack(int fill) {
    char area[kPaintedStack];
    std::memset(area, fill, sizeof(area));
    asm volatile("" : : "r"(area) : "memory");  // the fill must happen, though nothing reads it
}

}  // namespace

// Returns call(a, b) made on a stack painted with `fill`: a value that differs between two
// fills comes from memory the callee never wrote. Tests pass PyObject_CallObject with a
// function and its arguments.
CONTROL_API void *lumvik_control_call_painted(void *(*call)(void *, void *), void *a, void *b, int fill) {
    paint_stack(fill);
    return call(a, b);
}
