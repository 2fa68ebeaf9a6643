#pragma once

// The connection steps the processing graphs are built from. A builder takes
// each filter's pins by index, in the filter's enumeration order, and reads a
// filter's list again after a connection that makes it create pins (pins()
// always answers the current list).
//
// Three kinds of step:
//   plain     a pin-to-pin connection whose result the builder ignores;
//   required  a connection whose failure ends the build (BuildEnded);
//   search    the pins of one filter tried in order until one connects.
// A pin index beyond a filter's list also ends the build.
#include "platform/media/filter.h"
#include "platform/media/graph.h"

#include <cstddef>
#include <stdexcept>
#include <string>
#include <vector>

namespace vidora::graphsteps {

// Ends a build quietly: the builder gives no graph.
class BuildEnded : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};

// The filter's pin at `index`; a missing pin ends the build.
media::Pin &PinAt(media::Filter &filter, std::size_t index);
std::size_t PinCount(media::Filter &filter);
// The filter's last pin (the AVI splitter's input, the DV muxer's output).
media::Pin &LastPin(media::Filter &filter);

// The AVI splitter's outputs in stream order: every pin but the last (its
// input pin). Empty while its input is unconnected.
std::vector<media::Pin *> SplitterOutputs(media::Filter &aviSplitter);

// A plain connection: IPin::Connect semantics, pins in either order, no
// filter inserted. `partial` limits the types tried (a major type alone).
bool Plain(media::FilterGraph &graph, media::Pin &a, media::Pin &b,
           const media::MediaType *partial = nullptr);
// The same with an output and an input that must connect directly
// (ConnectDirect); false when either pin has the wrong direction.
bool Direct(media::FilterGraph &graph, media::Pin &out, media::Pin &in,
            const media::MediaType *partial = nullptr);

// Ends the build with `what` when `ok` is false.
void Required(bool ok, const char *what);
// Ends the build with `what` when `endsBuild` holds.
void Check(bool endsBuild, const char *what);

// Tries `candidates` in order against `target` with Direct (candidate as the
// output); the first that connects, else null.
media::Pin *SearchDirect(media::FilterGraph &graph, const std::vector<media::Pin *> &candidates,
                         media::Pin &target);

} // namespace vidora::graphsteps
