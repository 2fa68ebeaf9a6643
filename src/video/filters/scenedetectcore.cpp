#include "video/filters/scenedetectcore.h"

#include "formats/datetime.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace vidora {

namespace {

// The DV system whose frames are exactly `bytes` long, or none.
const DvSystem *systemOfFrameSize(std::size_t bytes)
{
    for (const DvSystem &system : kDvSystems) {
        if (system.frameBytes == bytes)
            return &system;
    }
    return nullptr;
}

// The recording date and time of a frame as a day number, when its packs are
// found and form a valid date and time.
bool readRecordingDate(std::span<const std::uint8_t> frame, int nSeq, double &value)
{
    TDvRecDateTime packs;
    if (!ReadDvRecDateTime(frame, nSeq, packs))
        return false;
    const DateTimeParts parts{{packs.Year, packs.Month, packs.Day},
                              {packs.Hour, packs.Minute, packs.Second, 0}};
    return TryEncodeDateTime(parts, value);
}

// Whole milliseconds between two day numbers that hold whole seconds, free of
// the rounding noise of their plain difference.
std::int64_t msBetween(double a, double b)
{
    return std::llabs(static_cast<std::int64_t>(std::llround((b - a) * 86400000.0)));
}

constexpr std::int64_t kJumpThresholdMs = 5000; // kJumpThresholdDays in milliseconds

bool formatDiffers(const TDvFrameInfo &a, const TDvFrameInfo &b)
{
    // The channel count is left out: camcorders switch between 2 and 4
    // channels within one recording.
    return a.Wide != b.Wide || a.Is525 != b.Is525 || a.SampleRate != b.SampleRate ||
           a.BitsPerSample != b.BitsPerSample;
}

} // namespace

// A store is about 6 KB: a frame's store comes from here and returns when its
// last holder (the detector's present, a frame's note) lets go, on whichever
// thread that is. A few are kept, as many as frames are under way at once in
// a graph; more return to the heap.
struct DvSceneDetectCore::StorePool
{
    static constexpr std::size_t kKept = 32;
    std::mutex lock;
    std::vector<std::unique_ptr<DvHeaderStore>> free; // guarded by lock

    static std::shared_ptr<DvHeaderStore> take(const std::shared_ptr<StorePool> &pool)
    {
        std::unique_ptr<DvHeaderStore> store;
        {
            const std::lock_guard guard(pool->lock);
            if (!pool->free.empty()) {
                store = std::move(pool->free.back());
                pool->free.pop_back();
            }
        }
        if (!store)
            store = std::make_unique<DvHeaderStore>();
        return {store.release(), [pool](DvHeaderStore *given) {
                    std::unique_ptr<DvHeaderStore> back(given);
                    const std::lock_guard guard(pool->lock);
                    if (pool->free.size() < kKept)
                        pool->free.push_back(std::move(back));
                }};
    }
};

DvSceneDetectCore::DvSceneDetectCore() : m_storePool(std::make_shared<StorePool>())
{
    // The detector shows nothing until told: empty lines, always, with the
    // default date formats.
    m_options.Line1.clear();
    m_options.Line2.clear();
    m_options.When = kShowAlways;
}

void DvSceneDetectCore::setOptions(const TincrustRec &options)
{
    const std::lock_guard lock(m_lock);
    m_options = options;
    if (m_frameDuration > 0)
        m_showCount = ShowCountFor(m_options.Seconds, m_frameDuration);
}

TincrustRec DvSceneDetectCore::options() const
{
    const std::lock_guard lock(m_lock);
    return m_options;
}

std::int32_t DvSceneDetectCore::showCount() const
{
    const std::lock_guard lock(m_lock);
    return m_showCount;
}

std::int64_t DvSceneDetectCore::frameDuration() const
{
    const std::lock_guard lock(m_lock);
    return m_frameDuration;
}

TDvFrameInfo DvSceneDetectCore::currentInfo() const
{
    const std::lock_guard lock(m_lock);
    return m_current;
}

TDvFrameInfo DvSceneDetectCore::previousInfo() const
{
    const std::lock_guard lock(m_lock);
    return m_previous;
}

TDvFrameInfo DvSceneDetectCore::lastInfo() const
{
    const std::lock_guard lock(m_lock);
    return m_last;
}

DvHeaderStore DvSceneDetectCore::headerStore() const
{
    const std::lock_guard lock(m_lock);
    return m_headerStore ? *m_headerStore : DvHeaderStore{};
}

void DvSceneDetectCore::copyHeaderStore(DvHeaderStore &target) const
{
    const std::lock_guard lock(m_lock);
    if (m_headerStore)
        target = *m_headerStore;
    else
        target.Sequences = 0; // holds nothing of the run
}

DvSceneDetectCore::FrameRecord DvSceneDetectCore::lastFrame() const
{
    const std::lock_guard lock(m_lock);
    return {m_last, m_headerStore};
}

void DvSceneDetectCore::resetRun()
{
    m_sceneStart = TDvFrameInfo{};
    m_firstFrame = true;
    m_referenceDate = 0.0;
    m_haveReference = false;
    m_reported = TitleLines{};
    const std::lock_guard lock(m_lock);
    m_current.FrameNumber = 0;
    // Taken as dated, so that the run's first frame is never a returning date.
    m_current.HasDate = true;
    m_headerStore.reset();
}

void DvSceneDetectCore::startStreaming(std::int64_t frameDuration100ns)
{
    resetRun();
    std::int32_t showCount = 0;
    {
        const std::lock_guard lock(m_lock);
        // A run may read another file than the last: a value whose pack the
        // first frame lacks must not be the last file's (a 16:9 flag, an
        // audio format). Within the run absent packs keep the frame before's.
        m_current = TDvFrameInfo{};
        m_current.HasDate = true;
        m_previous = TDvFrameInfo{};
        m_last = TDvFrameInfo{};
        m_frameDuration = std::max<std::int64_t>(frameDuration100ns, 0);
        if (m_frameDuration > 0)
            m_showCount = ShowCountFor(m_options.Seconds, m_frameDuration);
        showCount = m_showCount;
    }
    m_trigger.restart(showCount);
    m_running = true;
}

void DvSceneDetectCore::breakScene(const TDvFrameInfo &current)
{
    if (m_onScene)
        m_onScene(m_sceneStart, current);
    m_sceneStart = current;
}

void DvSceneDetectCore::reportTitle(const TDvFrameInfo &info, const TitleLines &lines)
{
    m_onTitle(info, lines.Line1, lines.Line2);
    m_reported = lines;
}

bool DvSceneDetectCore::processFrame(std::span<const std::uint8_t> sample)
{
    const DvSystem *system = systemOfFrameSize(sample.size());
    if (system == nullptr)
        return false;
    const int nSeq = system->difSequences;

    // This thread is the only writer of the records, so it reads them unlocked.
    const TDvFrameInfo previous = m_current;
    TDvFrameInfo info = m_current;
    info.HasDate = readRecordingDate(sample, nSeq, info.RecDateTime);
    if (!info.HasDate)
        info.RecDateTime = 0.0;
    info.HasTimecode = ReadDvTimecode(sample, nSeq, info.Timecode);
    const bool aauxFound =
        ReadDvAudioFormat(sample, nSeq, info.SampleRate, info.BitsPerSample, info.Channels);
    const bool vauxFound = ReadDvWideFlag(sample, nSeq, info.Wide);
    ReadDvSystem(sample, info.Is525);
    info.AuxValid = aauxFound && vauxFound;

    TincrustRec options;
    std::int32_t showCount = 0;
    bool learntDuration = false;
    {
        const std::lock_guard lock(m_lock);
        m_previous = previous;
        m_current = info;
        if (m_frameDuration <= 0) {
            // A connection without a stated duration: the DV system's own.
            m_frameDuration = DvFrameDuration(system->is525);
            m_showCount = ShowCountFor(m_options.Seconds, m_frameDuration);
            learntDuration = true;
        }
        options = m_options;
        showCount = m_showCount;
    }
    if (learntDuration)
        m_trigger.restart(showCount);

    // Subtitle lines.
    m_trigger.advance(options.When, showCount, info.HasDate, info.RecDateTime);
    if (m_onTitle) {
        if (m_trigger.shown(options.When)) {
            const TitleLines lines = FillTitleLines(options, info);
            if (lines != m_reported)
                reportTitle(info, lines);
        } else if (!m_reported.Line1.isEmpty() || !m_reported.Line2.isEmpty()) {
            reportTitle(info, TitleLines{});
        }
    }

    // Scene rules, in this order.
    if (m_sceneStart.AuxValid && info.AuxValid && formatDiffers(m_sceneStart, info)) {
        breakScene(info);
        m_haveReference = false;
    }
    if (!info.HasDate && previous.HasDate) {
        // The date is lost.
        if (info.FrameNumber > 0)
            breakScene(info);
    } else if (info.HasDate && !previous.HasDate) {
        // The date returns: a gap longer than the limit since the scene began
        // is a new scene.
        const std::uint32_t sinceStart = info.FrameNumber > m_sceneStart.FrameNumber
                                             ? info.FrameNumber - m_sceneStart.FrameNumber
                                             : m_sceneStart.FrameNumber - info.FrameNumber;
        if (sinceStart > kDateGapFrames)
            breakScene(info);
        m_referenceDate = info.RecDateTime;
    } else if (info.HasDate && previous.HasDate) {
        // The date continues: a jump either way is a new scene.
        if (m_haveReference && msBetween(m_referenceDate, info.RecDateTime) > kJumpThresholdMs)
            breakScene(info);
        m_referenceDate = info.RecDateTime;
        m_haveReference = true;
    }

    if (m_firstFrame) {
        m_sceneStart = info;
        m_firstFrame = false;
    }

    // A store of this frame's own, filled before anyone can see it.
    const std::shared_ptr<DvHeaderStore> store = StorePool::take(m_storePool);
    for (int i = 0; i < nSeq; ++i) {
        const auto sequence = sample.subspan(static_cast<std::size_t>(i) * kDvSequenceBytes,
                                             DvHeaderStore::kEntryBytes);
        std::copy(sequence.begin(), sequence.end(),
                  store->Entries[static_cast<std::size_t>(i)].begin());
    }
    store->Sequences = nSeq;
    {
        const std::lock_guard lock(m_lock);
        m_last = info;
        m_headerStore = store;
        m_current.FrameNumber = info.FrameNumber + 1;
    }
    return true;
}

void DvSceneDetectCore::stop()
{
    if (!m_running)
        return;
    m_running = false;

    const TDvFrameInfo current = currentInfo();
    if (m_onScene)
        m_onScene(m_sceneStart, current);
    if (m_onTitle && (!m_reported.Line1.isEmpty() || !m_reported.Line2.isEmpty()))
        m_onTitle(current, QString(), QString());
    if (m_onEnd)
        m_onEnd();

    resetRun();
    m_trigger.clear();
    m_onTitle = nullptr;
}

} // namespace vidora
