#pragma once

// Fixtures of the file-list tests: a probe that answers from a table, the
// probe values of typical files, and small file helpers.
#include "files/avifichier.h"
#include "files/probevalues.h"

#include <QHash>
#include <QString>

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>

namespace vidora::test {

// Answers by file name; a name not in the table fails like an unreadable file.
class FakeProbe : public IProbe
{
public:
    ProbeValues Probe(const QString &path) override;
    void Set(const QString &fileName, const ProbeValues &values);
    int Calls() const { return m_calls.load(); }

private:
    std::mutex m_lock;
    QHash<QString, ProbeValues> m_table; // guarded by m_lock
    std::atomic<int> m_calls{0};
};

// A DV type-1 file (one interleaved stream): DVINFO, video and audio formats
// from the DV splitter, all with the stream's duration.
ProbeValues Type1Values(bool pal, bool withAudio = true);
// A DV type-2 file ("vids" dvsd and "auds").
ProbeValues Type2Values(bool pal, bool wide = false);
// A non-DV AVI with video and audio.
ProbeValues NonDvValues();

DateTimeValue DateOf(int year, int month, int day, int hour, int minute, int second);

// Writes a generated DV AVI (type 1 or 2) at the path.
void WriteDvAvi(const QString &path, int type);
// Writes any bytes at the path.
void WriteText(const QString &path, const QByteArray &bytes);

// Runs the GUI event loop until the condition holds or the time is up.
bool WaitUntil(const std::function<bool()> &condition, int timeoutMs = 30000);

} // namespace vidora::test
