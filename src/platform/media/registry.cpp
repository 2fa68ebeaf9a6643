#include "platform/media/registry.h"

#include <algorithm>

namespace vidora::media {

void FilterRegistry::add(FilterFactory factory)
{
    m_factories.push_back(std::move(factory));
}

std::vector<FilterFactory> FilterRegistry::byMerit() const
{
    std::vector<FilterFactory> list;
    for (const auto &factory : m_factories)
        if (factory.merit > merit::DoNotUse && factory.create)
            list.push_back(factory);
    std::stable_sort(list.begin(), list.end(), [](const FilterFactory &a, const FilterFactory &b) {
        return a.merit > b.merit;
    });
    return list;
}

} // namespace vidora::media
