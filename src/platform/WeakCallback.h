#pragma once

#include <QObject>
#include <QPointer>
#include <functional>
#include <type_traits>
#include <utility>

// Binds a member-like callable to an owner held weakly: the returned callback forwards its
// arguments to `call(owner, args...)` and returns its result while the owner lives, and once the
// owner is gone does nothing and returns a value-initialised result (false, 0, an empty
// optional). Views and the engine keep such callbacks (onNextRequested, requestRedraw,
// imageRectProvider, ...) so that a callback outliving its owner can never reach a destroyed
// object.
//
//     view.onNextRequested = bindWeak(controller, [](Controller* c) { c->showNext(); });
template <typename Owner, typename Call> auto bindWeak(Owner* owner, Call call)
{
    static_assert(std::is_base_of_v<QObject, Owner>, "the owner must be a QObject");
    return [guard = QPointer<Owner>(owner), call = std::move(call)](auto&&... args) {
        using Result = std::invoke_result_t<const Call&, Owner*, decltype(args)...>;
        if (Owner* alive = guard.data()) {
            return call(alive, std::forward<decltype(args)>(args)...);
        }
        if constexpr (!std::is_void_v<Result>) {
            return Result{};
        }
    };
}
