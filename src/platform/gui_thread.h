#pragma once

// The one way work reaches the GUI thread. postToGui queues a call and
// returns; runOnGui runs a call there and waits for it (directly when the
// caller is the GUI thread). The media layer's event executor posts through
// the same queue.
//
// The calls are kept in a queue of our own, guarded by a std::mutex, and a
// queued Qt call on the application object drains it; the hand-over is thus
// visible to ThreadSanitizer even though Qt is not instrumented.
// A thread that holds something the GUI thread waits for must not call
// runOnGui (it would wait for the GUI thread, which waits for it).
#include <chrono>
#include <functional>

namespace vidora {

bool isGuiThread();
void postToGui(std::function<void()> call);
// Needs a running application object on the GUI thread; an exception thrown
// by the call reaches the caller.
void runOnGui(const std::function<void()> &call);
// GUI thread only: runs the calls queued so far, waiting up to `wait` for the
// first one. For a GUI thread that must wait for a worker without returning
// to its event loop (joining at shutdown) while the worker may be blocked in
// runOnGui. Returns the number of calls run.
int runQueuedGuiCalls(std::chrono::milliseconds wait);

} // namespace vidora
