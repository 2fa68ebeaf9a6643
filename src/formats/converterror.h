#pragma once

#include <stdexcept>

namespace vidora {

// A text or number that cannot be turned into the value asked for: a field
// that is not an integer, a date or time outside the calendar or the clock.
// The message names the offending input.
class ConvertError : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};

} // namespace vidora
