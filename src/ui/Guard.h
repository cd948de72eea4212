// The one way an error leaves an event handler: it is shown in a message box with its text, the
// handler is abandoned there, and the program goes on.
#pragma once

#include <exception>
#include <functional>
#include <type_traits>
#include <utility>

namespace Guard {

// The text an escaping error is shown with.
void report(const std::exception_ptr &error);

// Runs a handler; an error escaping it is reported. True when it ran to its end.
template<typename F>
bool run(F &&handler)
{
    try {
        std::forward<F>(handler)();
        return true;
    } catch (...) {
        report(std::current_exception());
        return false;
    }
}

// Wraps a handler for connect(): connect(button, &QPushButton::clicked, this, Guard::slot([this] { ... })).
// The signal's arguments reach the handler when it takes them.
template<typename F>
auto slot(F handler)
{
    return [handler = std::move(handler)](auto &&...args) mutable {
        run([&] {
            if constexpr (std::is_invocable_v<F &, decltype(args)...>)
                handler(args...);
            else
                handler();
        });
    };
}

} // namespace Guard
