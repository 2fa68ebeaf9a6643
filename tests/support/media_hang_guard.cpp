#include "support/media_hang_guard.h"

#include <cstdio>
#include <cstdlib>

namespace vidora::test {

HangGuard::HangGuard(std::chrono::milliseconds limit, std::string what)
{
    m_watch = std::thread([this, limit, what = std::move(what)] {
        std::unique_lock lock(m_mutex);
        if (!m_done.wait_for(lock, limit, [this] { return m_finished; })) {
            std::fprintf(stderr, "FAILED: %s did not finish within %lld ms (hang)\n", what.c_str(),
                         static_cast<long long>(limit.count()));
            std::fflush(stderr);
            std::_Exit(3);
        }
    });
}

HangGuard::~HangGuard()
{
    {
        std::lock_guard lock(m_mutex);
        m_finished = true;
    }
    m_done.notify_all();
    m_watch.join();
}

} // namespace vidora::test
