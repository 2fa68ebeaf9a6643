#pragma once

// Synchronous calls from a worker thread into the GUI thread.
// (To be folded into the platform layer's helper of the same name.)
//
// The hand-over runs through a queue guarded by a std::mutex and a wake-up
// descriptor the GUI thread's event loop watches, so every value crossing
// threads is ordered by the standard library's own synchronisation; no data
// travels inside a Qt event.
#include <chrono>
#include <functional>

namespace vidora {

// Creates the GUI thread's receiver of calls. Must be called once on the GUI
// thread (the thread of the application object) before a worker calls
// runOnGui; calling it again does nothing.
void PrepareRunOnGui();

// Runs `fn` on the GUI thread and returns when it has run; an exception it
// throws is thrown again here. On the GUI thread itself, or without an
// application object, `fn` runs directly. From another thread before
// PrepareRunOnGui, throws std::logic_error.
void runOnGui(const std::function<void()> &fn);

// GUI thread only: runs the calls that workers have queued, waiting up to
// `wait` for the first one. For a GUI thread that must wait for a worker
// without returning to its event loop (joining at shutdown): the worker may be
// blocked in runOnGui. Returns the number of calls run.
int RunQueuedGuiCalls(std::chrono::milliseconds wait);

} // namespace vidora
