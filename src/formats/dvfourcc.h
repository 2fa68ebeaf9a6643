#pragma once

// The DV codes that name the 25 Mbit/s frames of kDvSystems, beside the full
// list of IsDvFourCC (dvsystem.h).
#include <cstdint>

namespace vidora {

// Whether a code as stored in a file (little-endian, first character in the
// low byte; compared without regard to case) names 25 Mbit/s DV, what the DV
// decoder reads: one of IsDvFourCC's codes except dvsl (12.5 Mbit/s) and
// dvh1 (100 Mbit/s).
bool IsDv25FourCC(std::uint32_t code);

} // namespace vidora
