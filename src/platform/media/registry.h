#pragma once

// The filters the graph may insert by itself (Render, RenderStream):
// factories ordered by merit, highest first; equal merits keep the order in
// which they were added.
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace vidora::media {

class Filter;

namespace merit {
constexpr int DoNotUse = 0x200000;
constexpr int Unlikely = 0x400000;
constexpr int Normal = 0x600000;
constexpr int Preferred = 0x800000;
} // namespace merit

struct FilterFactory
{
    std::string name; // the name the filter gets in the graph
    int merit = merit::Normal;
    std::function<std::shared_ptr<Filter>()> create;
};

class FilterRegistry
{
public:
    void add(FilterFactory factory);
    // Highest merit first; factories below merit::DoNotUse are never tried.
    std::vector<FilterFactory> byMerit() const;

private:
    std::vector<FilterFactory> m_factories;
};

} // namespace vidora::media
