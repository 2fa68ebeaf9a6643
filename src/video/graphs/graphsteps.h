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
// A pin index beyond a filter's list also ends the build. The compound steps
// at the end are made of these, in the order their comments give.
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
// The pins of `filter` from `first` to its last, as the list reads now; empty
// when it has no pin at `first`. The DV splitter's outputs are PinsFrom(.., 1).
std::vector<media::Pin *> PinsFrom(media::Filter &filter, std::size_t first);

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

// The source opened: the file source's output (pin 0) to the AVI splitter's
// input (pin 0), plain, then the build ends unless the splitter offers at
// least one stream. On failure the source stays connected if it was.
void SplitSource(media::FilterGraph &graph, media::Filter &fileSource, media::Filter &aviSplitter);

// The first of the AVI splitter's outputs that connects directly to
// `target` (SearchDirect over SplitterOutputs); the build ends when none
// does, an empty list (a splitter without a stream) included. The pins the
// search tried and refused stay as they were.
media::Pin &RequireStreamTo(media::FilterGraph &graph, media::Filter &aviSplitter,
                            media::Pin &target);

// A search through a converter: tries `candidates` in order, each as a plain
// connection to the converter's input (pin 0). At the first that connects it
// stops and joins the converter's output (pin 1) to pin `targetPin` of
// `target`, plain. Null and connected candidates are passed over (plain
// connections refuse connected pins), so searches over the same list, one
// converter after the other, take the streams in turn.
// Returns the candidate that reached the converter; null when none did, and
// then nothing was connected. When the converter's output does not reach the
// target, the converter keeps its input and the stream goes no further: the
// build goes on and its later checks decide (RequireMuxFed). A `targetPin`
// beyond the target's list ends the build (BuildEnded) with the converter's
// input connected.
media::Pin *SearchThroughConverter(media::FilterGraph &graph,
                                   const std::vector<media::Pin *> &candidates,
                                   media::Filter &converter, media::Filter &target,
                                   std::size_t targetPin);

// The converter for the graph's `n`-th audio stream, counted from 1: `first`,
// `second`, then none (null): a graph converts two audio streams at most.
media::Filter *NthConverter(int n, media::Filter &first, media::Filter &second);

// Something reaches the AVI mux: its pins are its output (pin 0), then its
// inputs, and it adds a free input each time its last one connects, so a mux
// that was ever fed holds three pins or more. Connects nothing; ends the
// build (BuildEnded) when no input was connected: that graph would write a
// file without a stream and report success. The graph is left as it is.
void RequireMuxFed(media::Filter &aviMux);

// The end of a graph that writes an AVI file: RequireMuxFed, then the mux's
// output (pin 0) to the file writer's input (pin 0), plain. Returns the
// mux's seeking interface (null when it offers none). When nothing reaches
// the mux the build ends before the writer is connected.
media::IMediaSeeking *MuxToWriter(media::FilterGraph &graph, media::Filter &aviMux,
                                  media::Filter &fileWriter);

// The infinite tee put on a stream: `upstream` to the tee's input (pin 0),
// the tee's first output (pin 1) to `downstream`, its second (pin 2) to the
// renderer's input (pin 0), each plain and in that order (the tee makes its
// outputs as it connects). Returns nothing: the renderer checks after it
// decide whether the graph can run.
void Tee(media::FilterGraph &graph, media::Pin &upstream, media::Filter &tee,
         media::Pin &downstream, media::Filter &renderer);

} // namespace vidora::graphsteps
