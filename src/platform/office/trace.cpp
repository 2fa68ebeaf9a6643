#include "trace.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>

namespace vidora::office {
namespace {

// Set while the program loads, which is close enough to its start.
const auto g_start = std::chrono::steady_clock::now();
const bool g_on = std::getenv("VIDORA_OFFICE_TRACE") != nullptr;

} // namespace

void Trace(const char *step)
{
    if (!g_on)
        return;
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::steady_clock::now() - g_start);
    std::fprintf(stderr, "%6lld ms %s\n", static_cast<long long>(ms.count()), step);
}

} // namespace vidora::office
