#include "scenes/scngraphrun.h"

#include <stdexcept>

namespace vidora {

TWriterGraphRun::~TWriterGraphRun()
{
    // A run left without Stop or Abort keeps nothing.
    if (!m_done) {
        m_done = true;
        if (m_writer.clearCallbacks)
            m_writer.clearCallbacks();
        if (m_writer.discard)
            m_writer.discard();
    }
}

void TWriterGraphRun::Finish(bool commit)
{
    m_done = true;
    if (m_writer.clearCallbacks)
        m_writer.clearCallbacks();
    if (!commit) {
        if (m_writer.discard)
            m_writer.discard();
        return;
    }
    QString error;
    if (m_writer.commit && !m_writer.commit(error))
        throw std::runtime_error(error.toStdString());
}

void TWriterGraphRun::Stop()
{
    m_run.Stop(); // the detector's final report happens here
    Finish(true);
}

void TWriterGraphRun::Abort()
{
    m_run.Abort();
    Finish(false);
}

} // namespace vidora
