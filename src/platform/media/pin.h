#pragma once

// Pins: the connection points of filters. A connection joins one output pin
// to one input pin with one media type; connections change only while the
// graph is stopped, on the thread that builds it. While streaming, data
// moves from an output pin into its peer input pin on the calling (streaming)
// thread; flushes, segments and end of stream follow the same path.
//
// A pin belongs to its filter, which answers for it: the types it proposes
// and accepts, what happens to what it receives (see the pin protocol in
// filter.h).
#include "platform/media/allocator.h"
#include "platform/media/flow.h"
#include "platform/media/media_type.h"
#include "platform/media/sample.h"

#include <atomic>
#include <memory>
#include <string>
#include <typeinfo>
#include <vector>

namespace vidora::media {

class Filter;

enum class PinDirection {
    Input,
    Output
};

class Pin
{
public:
    Pin(Filter &owner, std::string name, PinDirection direction);
    virtual ~Pin();
    Pin(const Pin &) = delete;
    Pin &operator=(const Pin &) = delete;

    Filter &filter() const { return m_filter; }
    const std::string &name() const { return m_name; }
    PinDirection direction() const { return m_direction; }
    Pin *peer() const { return m_peer; }
    bool isConnected() const { return m_peer != nullptr; }
    // The agreed type; empty while unconnected.
    const MediaType &connectionType() const { return m_type; }

    // Types this pin proposes for a connection, best first.
    std::vector<MediaType> mediaTypes() const;
    // Whether this pin would connect with the type.
    bool acceptsType(const MediaType &type) const;

    // The interface T of this pin (the pin itself when it derives from T,
    // else what the pin hands out), or null.
    template <class T>
    T *queryInterface()
    {
        if (auto *direct = dynamic_cast<T *>(this))
            return direct;
        return static_cast<T *>(interfaceFor(typeid(T)));
    }

protected:
    // Default: what the owning filter hands out for this pin.
    virtual void *interfaceFor(const std::type_info &type);

private:
    friend bool connectPins(class OutputPin &, class InputPin &, const MediaType *);
    friend bool disconnectPins(Pin &);

    Filter &m_filter;
    const std::string m_name;
    const PinDirection m_direction;
    Pin *m_peer = nullptr; // changed while stopped, on the control thread
    MediaType m_type;
};

class InputPin : public Pin
{
public:
    InputPin(Filter &owner, std::string name);

    // Streaming, on the upstream streaming thread. Each goes to the owning
    // filter's pin call of the same name (filter.h), which decides what
    // follows. While flushing, receive and endOfStream answer Flushing
    // without it (the sample drops); beginFlush marks the pin flushing
    // before the filter hears of it, endFlush clears the mark after.
    Flow receive(const SamplePtr &sample);
    Flow endOfStream();
    // Flush: begin drops everything held or queued and wakes every wait on
    // the path; end makes the path ready for the new segment.
    void beginFlush();
    void endFlush();
    void newSegment(std::int64_t start, std::int64_t stop);
    bool isFlushing() const { return m_flushing.load(); }

    // The buffers of the upstream pool feeding this pin (count 0 when none).
    AllocatorProperties upstreamProperties() const;

private:
    std::atomic<bool> m_flushing{false};
};

class OutputPin : public Pin
{
public:
    OutputPin(Filter &owner, std::string name);

    // Streaming: into the peer input pin, on the calling thread, answering
    // what the peer answers. An unconnected pin takes the data and drops it
    // (Ok).
    Flow deliver(const SamplePtr &sample);
    Flow deliverEndOfStream();
    void deliverBeginFlush();
    void deliverEndFlush();
    void deliverNewSegment(std::int64_t start, std::int64_t stop);

    // The pool this pin's filter fills for the connection, when it keeps one
    // (sources, splitters and copying transforms do; pass-through pins not).
    Allocator *allocator() { return m_allocator.get(); }
    void setAllocator(std::unique_ptr<Allocator> allocator) { m_allocator = std::move(allocator); }
    // The buffers that reach the peer through this pin.
    AllocatorProperties allocatorProperties() const;

private:
    std::unique_ptr<Allocator> m_allocator;
};

// Connects an output to an input directly (never inserts a filter). Tries the
// output's proposed types, then the input's, each filtered by `partial` when
// given; a complete type given as `partial` is the only one tried. Both pins
// must be unconnected. Called by the graph, which checks the graph's state.
bool connectPins(OutputPin &out, InputPin &in, const MediaType *partial);
// Breaks the connection of `pin` on both sides; false when not connected.
bool disconnectPins(Pin &pin);

} // namespace vidora::media
