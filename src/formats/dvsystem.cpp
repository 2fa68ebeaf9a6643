#include "formats/dvsystem.h"

#include "formats/dvfourcc.h"

#include <algorithm>

namespace vidora {

namespace {

static_assert(std::all_of(kDvSystems.begin(), kDvSystems.end(), [](const DvSystem &system) {
    return system.frameBytes == static_cast<std::size_t>(system.difSequences) * kDvSequenceBytes;
}));

// The codes cameras, capture cards and codecs write for DV video, lower case.
struct DvFourCC
{
    std::string_view code;
    bool is25; // 25 Mbit/s standard definition, the frames of kDvSystems
};

constexpr std::array<DvFourCC, 8> kDvFourCCs{{
    {"dvsd", true},
    {"dsvd", true},
    {"cdvc", true},
    {"dv25", true},
    {"dvc ", true},
    {"dvcp", true},
    {"dvsl", false}, // SD at 12.5 Mbit/s
    {"dvh1", false}, // HD at 100 Mbit/s
}};

char lower(char c)
{
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

const DvFourCC *findDvFourCC(std::string_view code)
{
    if (code.size() != 4)
        return nullptr;
    for (const DvFourCC &known : kDvFourCCs)
        if (std::equal(known.code.begin(), known.code.end(), code.begin(),
                       [](char k, char c) { return k == lower(c); }))
            return &known;
    return nullptr;
}

std::string_view storedText(std::uint32_t code, char (&text)[4])
{
    for (int i = 0; i < 4; ++i)
        text[i] = static_cast<char>((code >> (8 * i)) & 0xff);
    return std::string_view(text, 4);
}

} // namespace

bool IsDvFourCC(std::string_view code)
{
    return findDvFourCC(code) != nullptr;
}

bool IsDvFourCC(std::uint32_t code)
{
    char text[4];
    return IsDvFourCC(storedText(code, text));
}

bool IsDv25FourCC(std::uint32_t code)
{
    char text[4];
    const DvFourCC *known = findDvFourCC(storedText(code, text));
    return known && known->is25;
}

} // namespace vidora
