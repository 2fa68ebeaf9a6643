#pragma once

// Results on the streaming path. A filter never throws across a pin: each
// call that moves data downstream answers with one of these, and the caller
// decides whether to go on. Failures reach the application as the graph's
// error-abort event, raised by the filter that failed (Filter::reportError).
namespace vidora::media {

enum class Flow {
    Ok,          // delivered; send the next one
    Flushing,    // the receiver is flushing or stopping: drop the sample, end the loop quietly
    EndOfStream, // the receiver wants no more data for this segment
    Error,       // the stream failed; the failing filter has reported why
};

inline const char *flowName(Flow flow)
{
    switch (flow) {
    case Flow::Ok:
        return "ok";
    case Flow::Flushing:
        return "flushing";
    case Flow::EndOfStream:
        return "end of stream";
    case Flow::Error:
        return "error";
    }
    return "?";
}

} // namespace vidora::media
