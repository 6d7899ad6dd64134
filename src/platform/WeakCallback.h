#pragma once

#include <QObject>
#include <QPointer>
#include <functional>
#include <utility>

// Binds a member-like callable to an owner held weakly: the returned callback forwards its
// arguments to `call(owner, args...)` while the owner lives and does nothing once it is gone.
// Views and the engine keep such callbacks (onNextRequested, requestRedraw, ...) so that a
// callback outliving its owner can never reach a destroyed object.
//
//     view.onNextRequested = bindWeak(controller, [](Controller* c) { c->showNext(); });
template <typename Owner, typename Call> auto bindWeak(Owner* owner, Call call)
{
    static_assert(std::is_base_of_v<QObject, Owner>, "the owner must be a QObject");
    return [guard = QPointer<Owner>(owner), call = std::move(call)](auto&&... args) {
        if (Owner* alive = guard.data()) {
            call(alive, std::forward<decltype(args)>(args)...);
        }
    };
}
