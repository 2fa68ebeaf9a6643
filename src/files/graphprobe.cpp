#include "files/graphprobe.h"

namespace vidora {

std::shared_ptr<IProbe> DefaultProbe()
{
    static const std::shared_ptr<IProbe> probe = std::make_shared<GraphProbe>();
    return probe;
}

} // namespace vidora
