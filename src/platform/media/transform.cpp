#include "platform/media/transform.h"

#include <algorithm>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

namespace vidora::media {

// The queue of a queued input and the thread that empties it. Pushes come
// from the upstream's streaming thread, flushes from the thread that seeks,
// start and quit from the control and stopping threads.
class TransformFilter::InputQueue
{
public:
    enum class Kind {
        Sample,
        Segment,
        End
    };
    struct Item
    {
        Kind kind = Kind::Sample;
        SamplePtr sample;
        std::int64_t start = 0;
        std::int64_t stop = 0;
    };

    explicit InputQueue(std::size_t depth) : m_depth(std::max<std::size_t>(depth, 1)) {}
    ~InputQueue() { quitAndJoin(); }

    void start(TransformFilter &filter)
    {
        quitAndJoin();
        {
            const std::lock_guard lock(m_mutex);
            m_items.clear();
            m_quit = m_flushing = m_busy = false;
            m_result = Flow::Ok;
        }
        m_thread = std::thread([this, &filter] { run(filter); });
    }

    // Waits while the queue is full. A sample is refused with the answer the
    // downstream gave an earlier one (not Ok), so the upstream stops sending.
    Flow push(Item item)
    {
        std::unique_lock lock(m_mutex);
        m_changed.wait(lock, [&] { return m_items.size() < m_depth || m_flushing || m_quit; });
        if (m_flushing || m_quit)
            return Flow::Flushing;
        if (item.kind == Kind::Sample && m_result != Flow::Ok)
            return m_result;
        m_items.push_back(std::move(item));
        m_changed.notify_all();
        return Flow::Ok;
    }

    // Drops what waits and refuses pushes until endFlush.
    void beginFlush()
    {
        const std::lock_guard lock(m_mutex);
        m_flushing = true;
        m_items.clear();
        m_changed.notify_all();
    }

    // Waits for the item in hand (the downstream flushes too, so it ends
    // soon), then takes pushes again with a clean answer.
    void endFlush()
    {
        std::unique_lock lock(m_mutex);
        m_changed.wait(lock, [&] { return !m_busy || m_quit; });
        m_items.clear();
        m_flushing = false;
        m_result = Flow::Ok;
        m_changed.notify_all();
    }

    // Wakes every wait and tells the thread to end (stopping); join follows.
    void quit()
    {
        const std::lock_guard lock(m_mutex);
        m_quit = true;
        m_items.clear();
        m_changed.notify_all();
    }

    void join()
    {
        if (m_thread.joinable())
            m_thread.join();
    }

private:
    void quitAndJoin()
    {
        quit();
        join();
    }

    void run(TransformFilter &filter)
    {
        for (;;) {
            Item item;
            bool refused = false;
            {
                std::unique_lock lock(m_mutex);
                m_changed.wait(lock, [&] { return !m_items.empty() || m_quit; });
                if (m_quit)
                    return;
                item = std::move(m_items.front());
                m_items.pop_front();
                m_busy = true;
                // After an error or a refusal, samples queued behind it are
                // dropped, as a synchronous upstream would not have sent them.
                refused = m_result != Flow::Ok;
                m_changed.notify_all();
            }
            Flow result = Flow::Ok;
            switch (item.kind) {
            case Kind::Sample:
                if (!refused)
                    result = filter.Receive(item.sample);
                break;
            case Kind::Segment:
                filter.NewSegment(item.start, item.stop);
                filter.deliverNewSegmentToOutputs(item.start, item.stop);
                break;
            case Kind::End:
                if (!refused)
                    filter.EndOfStream();
                filter.deliverEndOfStreamToOutputs();
                break;
            }
            // The upstream's buffer goes back to its pool before the queue
            // has room again.
            item.sample.reset();
            const std::lock_guard lock(m_mutex);
            m_busy = false;
            if (result != Flow::Ok && m_result == Flow::Ok && !m_flushing)
                m_result = result;
            m_changed.notify_all();
        }
    }

    const std::size_t m_depth;
    std::mutex m_mutex;
    std::condition_variable m_changed;
    // guarded by m_mutex
    std::deque<Item> m_items;
    bool m_flushing = false;
    bool m_quit = false;
    bool m_busy = false;      // the thread works on an item it took
    Flow m_result = Flow::Ok; // the downstream's first answer other than Ok
    std::thread m_thread;     // started and joined by the control/stopping thread
};

TransformFilter::TransformFilter(std::string objectName, std::string inputName,
                                 std::string outputName)
    : Filter(std::move(objectName)), m_input(*this, std::move(inputName)),
      m_output(*this, std::move(outputName))
{}

// The queue's thread ends before the derived parts go (the graph stops the
// filter first; this only guards a filter destroyed while paused).
TransformFilter::~TransformFilter() = default;

void TransformFilter::setQueuedInput(std::size_t depth)
{
    m_queue = std::make_unique<InputQueue>(depth);
}

bool TransformFilter::checkPinType(const Pin &pin, const MediaType &type)
{
    if (&pin == &m_input)
        return CheckInputType(type);
    return m_input.isConnected() && CheckTransform(m_input.connectionType(), type);
}

std::vector<MediaType> TransformFilter::proposeTypes(const Pin &pin)
{
    std::vector<MediaType> types;
    if (&pin != &m_output || !m_input.isConnected())
        return types;
    for (int position = 0; position < 64; ++position) {
        auto type = GetMediaType(position);
        if (!type)
            break;
        types.push_back(std::move(*type));
    }
    return types;
}

bool TransformFilter::completeConnect(Pin &pin)
{
    if (&pin != &m_output)
        return true;
    auto allocator = std::make_unique<Allocator>();
    if (!DecideBufferSize(*allocator, m_input.upstreamProperties()))
        return false;
    m_output.setAllocator(std::move(allocator));
    return true;
}

bool TransformFilter::Pause()
{
    const bool starting = state() == FilterState::Stopped;
    if (!Filter::Pause())
        return false;
    if (starting && m_input.isConnected() && m_output.isConnected()) {
        if (!StartStreaming()) {
            reportError(name() + ": the stream cannot start");
            return false;
        }
        m_streaming = true;
        if (m_queue)
            m_queue->start(*this);
    }
    return true;
}

void TransformFilter::BeginStop()
{
    Filter::BeginStop();
    if (m_queue)
        m_queue->quit();
}

void TransformFilter::JoinStreaming()
{
    if (m_queue)
        m_queue->join();
    Filter::JoinStreaming();
}

void TransformFilter::Stop()
{
    if (m_streaming) {
        m_streaming = false;
        StopStreaming();
    }
    Filter::Stop();
}

Flow TransformFilter::receive(InputPin &, const SamplePtr &sample)
{
    if (!isFlowing())
        return Flow::Flushing;
    // A filter whose output is unconnected never started streaming: its hooks
    // have no state to work with and nothing would take the result. The
    // branch is a dead end; its upstream stream ends quietly.
    if (!m_streaming)
        return Flow::EndOfStream;
    if (m_queue)
        return m_queue->push({InputQueue::Kind::Sample, sample});
    return Receive(sample);
}

Flow TransformFilter::endOfStream(InputPin &pin)
{
    if (m_queue && m_streaming)
        return m_queue->push({InputQueue::Kind::End, nullptr});
    if (m_streaming)
        EndOfStream();
    return Filter::endOfStream(pin);
}

void TransformFilter::beginFlush(InputPin &pin)
{
    if (m_queue)
        m_queue->beginFlush();
    Filter::beginFlush(pin);
}

void TransformFilter::endFlush(InputPin &pin)
{
    if (m_queue)
        m_queue->endFlush();
    Filter::endFlush(pin);
}

void TransformFilter::newSegment(InputPin &pin, std::int64_t start, std::int64_t stop)
{
    if (m_queue && m_streaming) {
        m_queue->push({InputQueue::Kind::Segment, nullptr, start, stop});
        return;
    }
    NewSegment(start, stop);
    Filter::newSegment(pin, start, stop);
}

void TransformFilter::NewSegment(std::int64_t, std::int64_t) {}

Flow TransformFilter::EndOfStream()
{
    return Flow::Ok;
}

Flow TransformFilter::Receive(const SamplePtr &sample)
{
    Allocator *allocator = m_output.allocator();
    if (!allocator)
        return Flow::Error;
    SamplePtr out;
    const Flow got = allocator->getBuffer(out);
    if (got != Flow::Ok)
        return got;
    out->copyPropertiesFrom(*sample);
    // The output's type is this filter's: a type change upstream is not one here.
    out->typeChange.reset();
    const Flow result = Transform(*sample, *out);
    if (result == Flow::Error) {
        reportError(name() + ": a sample cannot be transformed");
        return result;
    }
    if (result != Flow::Ok)
        return result;
    return m_output.deliver(out);
}

Flow TransformFilter::Transform(const MediaSample &, MediaSample &)
{
    return Flow::Error;
}

InPlaceTransformFilter::InPlaceTransformFilter(std::string objectName, bool modifiesData)
    : TransformFilter(std::move(objectName)), m_modifiesData(modifiesData)
{}

bool InPlaceTransformFilter::CheckTransform(const MediaType &in, const MediaType &out)
{
    return in == out;
}

std::optional<MediaType> InPlaceTransformFilter::GetMediaType(int position)
{
    if (position != 0 || !input().isConnected())
        return std::nullopt;
    return input().connectionType();
}

bool InPlaceTransformFilter::completeConnect(Pin &)
{
    return true;
}

AllocatorProperties InPlaceTransformFilter::outputProperties(const OutputPin &)
{
    return input().upstreamProperties();
}

Flow InPlaceTransformFilter::Receive(const SamplePtr &sample)
{
    SamplePtr work = sample;
    if (m_modifiesData && sample->isReadOnly())
        work = sample->writableCopy();
    const Flow result = Transform(*work);
    if (result == Flow::Error) {
        reportError(name() + ": a sample cannot be transformed");
        return result;
    }
    if (result != Flow::Ok)
        return result;
    return output().deliver(work);
}

} // namespace vidora::media
