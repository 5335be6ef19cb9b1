// Overrides of what the personality answers, for tests: per sysctl node or per library call,
// optionally narrowed to one argument list ("kern.proc.pid" or "kern.proc.pid.42").
#pragma once
#include <initializer_list>
#include <span>
#include <string>
#include <string_view>

namespace control {

enum class Action {
    none,    // answer from the host
    answer,  // answer these bytes
    fail,    // fail with this errno (0 included)
    grow,    // the value grew since the size probe: the fetch fails with ENOMEM
};

struct Outcome {
    Action action = Action::none;
    std::string bytes;
    int err = 0;
};

// Whether any override is set: callers may skip building a key when none is.
bool active();

// The override for a call on `key` with these arguments; the most specific one wins. `fetch`
// tells a read into a buffer from a size probe: only fetches use up a grow override.
Outcome consult(std::string_view key, std::span<const int> args, bool fetch);
inline Outcome consult(std::string_view key, std::initializer_list<int> args, bool fetch) {
    return consult(key, std::span<const int>(args.begin(), args.size()), fetch);
}

// The same for a call on something named, as an interface: "SIOCGIFMTU" or "SIOCGIFMTU.em0".
Outcome consult_named(std::string_view key, std::string_view name, bool fetch);

}  // namespace control
