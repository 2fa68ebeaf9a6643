#pragma once

// The program's probe: the probe graph (TdmList) behind the list entries'
// probe interface.
#include "files/probevalues.h"
#include "video/graphs/buildlist.h"

#include <memory>

namespace vidora {

class GraphProbe final : public IProbe
{
public:
    // Callers hold the entry-reading lock, which serialises the probes.
    ProbeValues Probe(const QString &path) override { return m_list.ReadDVInfo(path); }

private:
    TdmList m_list;
};

// The process's probe, made on first use; the entries read with it unless
// they are given another.
std::shared_ptr<IProbe> DefaultProbe();

} // namespace vidora
