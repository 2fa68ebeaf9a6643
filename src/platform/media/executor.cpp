#include "platform/media/executor.h"

#include "platform/gui_thread.h"

#include <QCoreApplication>
#include <stdexcept>

namespace vidora::media {

GuiEventExecutor::GuiEventExecutor()
{
    if (!QCoreApplication::instance())
        throw std::logic_error("graph events need an application object or an executor");
}

void GuiEventExecutor::post(std::function<void()> call)
{
    postToGui(std::move(call));
}

void QueueEventExecutor::post(std::function<void()> call)
{
    std::lock_guard lock(m_mutex);
    m_calls.push_back(std::move(call));
}

std::size_t QueueEventExecutor::runPending()
{
    std::deque<std::function<void()>> calls;
    {
        std::lock_guard lock(m_mutex);
        calls.swap(m_calls);
    }
    for (auto &call : calls)
        call();
    return calls.size();
}

} // namespace vidora::media
