#pragma once

// Hands the events of one object to a function, which returns whether the
// event is used up. Owned by the object it watches.
#include <QObject>

#include <functional>
#include <utility>

namespace vidora {

class EventHook final : public QObject
{
public:
    EventHook(QObject *target, std::function<bool(QEvent *)> hook)
        : QObject(target), m_hook(std::move(hook))
    {
        target->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject *, QEvent *event) override { return m_hook(event); }

private:
    std::function<bool(QEvent *)> m_hook;
};

} // namespace vidora
