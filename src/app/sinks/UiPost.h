#pragma once

#include <QMetaObject>
#include <QObject>
#include <QPointer>
#include <type_traits>
#include <utility>

namespace korvex {

// The one way a worker thread reaches the user interface: `call(*target)`
// runs later on the target's thread, queued behind whatever is already
// waiting there, and is dropped when the target has gone in the meantime.
// The call is a typed C++ callable; no method is looked up by name.
template <typename Target, typename Call> void UiPost(Target* target, Call&& call) {
    static_assert(std::is_base_of_v<QObject, Target>, "posts go to a QObject");
    if (!target)
        return;
    QPointer<Target> guard(target);
    QMetaObject::invokeMethod(
        target,
        [guard, call = std::forward<Call>(call)]() mutable {
            if (Target* alive = guard.data())
                call(*alive);
        },
        Qt::QueuedConnection);
}

// A frame-owned stand-in for a widget that a worker reports to. The worker
// only ever holds the forwarder, which lives as long as the workers do; the
// widget (a pane, or a dialog while it is open) attaches and detaches on
// the user-interface thread. A call that arrives while nothing is attached,
// or after the attached widget was destroyed, is dropped.
template <typename Widget> class SinkForwarder : public QObject {
public:
    void Attach(Widget* widget) { attached = widget; }
    void Detach(Widget* widget) {
        if (attached == widget)
            attached = nullptr;
    }
    Widget* Attached() const { return attached.data(); }

protected:
    // Runs `call(widget)` on the user-interface thread with the widget
    // attached at that moment, if any.
    template <typename Call> void Forward(Call&& call) {
        UiPost(this, [call = std::forward<Call>(call)](SinkForwarder& self) mutable {
            if (Widget* widget = self.attached.data())
                call(*widget);
        });
    }

private:
    QPointer<Widget> attached;
};

} // namespace korvex
