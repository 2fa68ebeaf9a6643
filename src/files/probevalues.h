#pragma once

// The probe as the list entries see it: an interface, so that the entries'
// own tests answer from a table and the program probes through the graph
// (GraphProbe, graphprobe.h).
#include "video/graphs/probevalues.h"

#include <QString>

namespace vidora {

// Probes one file. Called only under the entry-reading lock (EntryReadingLock
// in avifichier.h), so an implementation may keep one graph for all calls.
// Must not write to the file.
class IProbe
{
public:
    virtual ~IProbe() = default;
    virtual ProbeValues Probe(const QString &path) = 0;
};

} // namespace vidora
