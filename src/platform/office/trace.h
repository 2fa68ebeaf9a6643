#pragma once

// VIDORA_OFFICE_TRACE=1 in the environment makes the helper print, on its
// standard error, when each step of an export ended (milliseconds since the
// helper started), to see where an export spends its time.
namespace vidora::office {

// Thread-safe; does nothing unless tracing is on.
void Trace(const char *step);

} // namespace vidora::office
