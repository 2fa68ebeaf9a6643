#include "platform/media/filters/avi_mux.h"

#include "formats/avilayout.h"
#include "formats/dvsystem.h"
#include "formats/riff.h"
#include "platform/media/interfaces.h"

#include <algorithm>
#include <cstring>
#include <numeric>

namespace vidora::media {

namespace {

constexpr std::uint32_t kSuperIndexEntries = 256; // forms a stream can span
// A chunk's header (FourCC and size) and a list's (its header and list type).
constexpr std::int64_t kChunkHeader = riff::kHeaderSize;
constexpr std::int64_t kListHeader = riff::kHeaderSize + riff::kListTypeSize;
// The size field of a chunk, after its FourCC.
constexpr std::size_t kSizeField = 4;
constexpr std::uint32_t kAvifHasIndex = 0x10;
constexpr std::uint32_t kAvifIsInterleaved = 0x100;
constexpr std::int64_t kSecond = 10000000; // 100 ns units

// Little-endian bytes with nested chunks whose sizes are filled in when they
// close (the data padded to an even length).
class ChunkWriter
{
public:
    void u8(std::uint8_t v) { m_bytes.push_back(v); }
    void u16(std::uint16_t v)
    {
        u8(static_cast<std::uint8_t>(v));
        u8(static_cast<std::uint8_t>(v >> 8));
    }
    void u32(std::uint32_t v)
    {
        u16(static_cast<std::uint16_t>(v));
        u16(static_cast<std::uint16_t>(v >> 16));
    }
    void u64(std::uint64_t v)
    {
        u32(static_cast<std::uint32_t>(v));
        u32(static_cast<std::uint32_t>(v >> 32));
    }
    void fourcc(const char (&code)[5]) { u32(fourCC(code)); }
    void bytes(const std::vector<std::uint8_t> &data)
    {
        m_bytes.insert(m_bytes.end(), data.begin(), data.end());
    }
    void zeros(std::size_t count) { m_bytes.insert(m_bytes.end(), count, 0); }

    void begin(std::uint32_t id)
    {
        u32(id);
        m_open.push_back(m_bytes.size());
        u32(0);
    }
    void begin(const char (&id)[5]) { begin(fourCC(id)); }
    void beginList(const char (&id)[5], const char (&type)[5])
    {
        begin(id);
        fourcc(type);
    }
    void end()
    {
        const std::size_t at = m_open.back();
        m_open.pop_back();
        const auto size = static_cast<std::uint32_t>(m_bytes.size() - at - kSizeField);
        for (int i = 0; i < 4; ++i)
            m_bytes[at + i] = static_cast<std::uint8_t>(size >> (8 * i));
        if (size & 1)
            u8(0);
    }
    std::vector<std::uint8_t> take() { return std::move(m_bytes); }
    std::size_t size() const { return m_bytes.size(); }

private:
    std::vector<std::uint8_t> m_bytes;
    std::vector<std::size_t> m_open;
};

std::uint32_t streamChunkId(std::size_t stream, const char (&kind)[3])
{
    const char id[5] = {static_cast<char>('0' + stream / 10), static_cast<char>('0' + stream % 10),
                        kind[0], kind[1], 0};
    return fourCC(id);
}

struct Rate
{
    std::uint32_t scale = 1;
    std::uint32_t rate = 25;
};

Rate rateOf(std::int64_t frameDuration)
{
    // NTSC's 30000/1001 frames per second is 333666.67 in 100 ns units.
    if (DvSystemByFrameDuration(frameDuration) == &kDv525)
        return {static_cast<std::uint32_t>(kDv525.rate.den),
                static_cast<std::uint32_t>(kDv525.rate.num)};
    if (frameDuration <= 0)
        return {1, 25};
    const std::int64_t g = std::gcd(frameDuration, kSecond);
    return {static_cast<std::uint32_t>(frameDuration / g), static_cast<std::uint32_t>(kSecond / g)};
}

// Width and height of a video stream's frames, from its format or, for DV
// type 1, from the system (625/50 or 525/60) that the frame size tells.
std::pair<std::int32_t, std::int32_t> frameSizeOf(const MediaType &type, std::uint32_t maxChunk)
{
    if (auto info = type.videoInfo())
        return {info->bmiHeader.biWidth, std::abs(info->bmiHeader.biHeight)};
    const DvSystem &system = maxChunk == kDv525.frameBytes ? kDv525 : kDv625;
    return {system.width, system.height};
}

} // namespace

AviMuxFilter::AviMuxFilter() : Filter("AVI Mux"), m_output(*this, "AVI Out")
{
    m_inputs.push_back(std::make_unique<InputPin>(*this, "Input 01"));
}

std::vector<Pin *> AviMuxFilter::pins()
{
    std::vector<Pin *> list{&m_output};
    for (auto &in : m_inputs)
        list.push_back(in.get());
    return list;
}

bool AviMuxFilter::setRiffLimit(std::int64_t bytes)
{
    if (state() != FilterState::Stopped || bytes < 65536 || bytes >= (std::int64_t(1) << 31))
        return false;
    m_riffLimit = bytes;
    return true;
}

std::vector<MediaType> AviMuxFilter::proposeTypes(const Pin &pin)
{
    if (&pin == &m_output)
        return {MediaType(MajorType::Stream, subtype::Avi)};
    return {};
}

bool AviMuxFilter::checkPinType(const Pin &pin, const MediaType &type)
{
    if (&pin == &m_output)
        return type.major() == MajorType::Stream &&
               (type.subtype() == subtype::Any || type.subtype() == subtype::Avi);
    switch (type.major()) {
    case MajorType::Interleaved:
        return type.subtype() == subtype::Dvsd && type.dvInfo().has_value();
    case MajorType::Video:
        return type.videoInfo().has_value();
    case MajorType::Audio:
        return type.waveFormat().has_value();
    default:
        return false;
    }
}

void AviMuxFilter::pinConnected(Pin &pin)
{
    if (pin.direction() != PinDirection::Input)
        return;
    for (auto &in : m_inputs)
        if (!in->isConnected())
            return;
    const auto number = m_inputs.size() + 1;
    m_inputs.push_back(std::make_unique<InputPin>(
        *this, std::string("Input ") + static_cast<char>('0' + number / 10 % 10) +
                   static_cast<char>('0' + number % 10)));
}

AviMuxFilter::Stream *AviMuxFilter::streamOf(const Pin &pin)
{
    for (auto &s : m_streams)
        if (s.pin == &pin)
            return &s;
    return nullptr;
}

bool AviMuxFilter::Pause()
{
    if (state() == FilterState::Stopped) {
        std::lock_guard lock(m_mutex);
        m_streams.clear();
        m_forms.clear();
        m_idx1.clear();
        m_idx1Streams.clear();
        m_failed = false;
        m_position = -1;
        for (auto &in : m_inputs) {
            if (!in->isConnected())
                continue;
            Stream s;
            s.pin = in.get();
            s.type = in->connectionType();
            const std::size_t number = m_streams.size();
            if (s.type.major() == MajorType::Audio) {
                s.fccType = fourCC("auds");
                s.chunkId = streamChunkId(number, "wb");
            } else {
                s.fccType =
                    s.type.major() == MajorType::Interleaved ? fourCC("iavs") : fourCC("vids");
                s.chunkId = streamChunkId(number, "dc");
                if (auto info = s.type.videoInfo())
                    s.frameDuration = info->AvgTimePerFrame;
            }
            m_streams.push_back(std::move(s));
        }
        if (m_streams.empty()) {
            reportError(name() + ": no input is connected");
            return false;
        }
        const auto header = static_cast<std::int64_t>(headerBytes().size());
        m_forms.push_back({0, header - kListHeader, 0});
        m_end = header;
    }
    return Filter::Pause();
}

std::vector<std::uint8_t> AviMuxFilter::headerBytes() const
{
    const bool odml = m_forms.size() > 1;
    const Stream *video = nullptr;
    for (const auto &s : m_streams)
        if (s.fccType != fourCC("auds") && !video)
            video = &s;
    std::uint32_t maxChunk = 0;
    std::int64_t bytesPerSecond = 0;
    for (const auto &s : m_streams) {
        maxChunk = std::max(maxChunk, s.maxChunk);
        if (auto wave = s.type.waveFormat())
            bytesPerSecond += wave->nAvgBytesPerSec;
        else if (s.frameDuration > 0)
            bytesPerSecond += s.maxChunk * kSecond / s.frameDuration;
    }
    const std::int64_t frameDuration = video ? video->frameDuration : 0;
    const auto [width, height] =
        video ? frameSizeOf(video->type, video->maxChunk) : std::pair<std::int32_t, std::int32_t>{};

    ChunkWriter w;
    w.beginList("RIFF", "AVI ");
    w.beginList("LIST", "hdrl");
    w.begin("avih");
    w.u32(static_cast<std::uint32_t>(frameDuration / 10));      // dwMicroSecPerFrame
    w.u32(static_cast<std::uint32_t>(bytesPerSecond));          // dwMaxBytesPerSec
    w.u32(0);                                                   // dwPaddingGranularity
    w.u32(kAvifHasIndex | kAvifIsInterleaved);                  // dwFlags
    w.u32(video ? video->firstFormChunks : 0);                  // dwTotalFrames: the first form's
    w.u32(0);                                                   // dwInitialFrames
    w.u32(static_cast<std::uint32_t>(m_streams.size()));        // dwStreams
    w.u32(static_cast<std::uint32_t>(maxChunk + kChunkHeader)); // dwSuggestedBufferSize
    w.u32(static_cast<std::uint32_t>(width));
    w.u32(static_cast<std::uint32_t>(height));
    w.zeros(avi::kMainHeaderSize - avi::avih::kReservedOffset); // dwReserved[4]
    w.end();
    for (const auto &s : m_streams) {
        const bool audio = s.fccType == fourCC("auds");
        const auto wave = s.type.waveFormat();
        const auto info = s.type.videoInfo();
        w.beginList("LIST", "strl");
        w.begin("strh");
        w.u32(s.fccType);
        if (s.fccType == fourCC("iavs"))
            w.u32(subtype::Dvsd);
        else
            w.u32(info ? info->bmiHeader.biCompression : 0);
        w.u32(0); // dwFlags
        w.u16(0); // wPriority
        w.u16(0); // wLanguage
        w.u32(0); // dwInitialFrames
        const auto align =
            static_cast<std::uint32_t>(wave ? std::max<int>(wave->nBlockAlign, 1) : 1);
        if (audio) {
            w.u32(align);                 // dwScale
            w.u32(wave->nAvgBytesPerSec); // dwRate
        } else {
            const Rate rate = rateOf(s.frameDuration);
            w.u32(rate.scale);
            w.u32(rate.rate);
        }
        w.u32(0);                                                              // dwStart
        w.u32(static_cast<std::uint32_t>(audio ? s.bytes / align : s.chunks)); // dwLength
        w.u32(s.maxChunk);        // dwSuggestedBufferSize
        w.u32(0xFFFFFFFF);        // dwQuality: default
        w.u32(audio ? align : 0); // dwSampleSize
        const auto [sw, sh] =
            audio ? std::pair<std::int32_t, std::int32_t>{} : frameSizeOf(s.type, s.maxChunk);
        w.u16(0);
        w.u16(0);
        w.u16(static_cast<std::uint16_t>(sw));
        w.u16(static_cast<std::uint16_t>(sh));
        w.end();
        w.begin("strf");
        if (audio) {
            w.bytes(wave->bytes());
        } else if (info) {
            // BITMAPINFOHEADER and what follows it in the VIDEOINFOHEADER.
            const auto &format = s.type.format();
            w.bytes(std::vector<std::uint8_t>(format.begin() + avi::kVideoInfoBitmapOffset,
                                              format.end()));
        } else {
            w.bytes(s.type.dvInfo()->bytes());
        }
        w.end();
        // The super index, or the room it takes.
        w.begin(odml ? "indx" : "JUNK");
        if (odml) {
            const std::size_t head = w.size();
            w.u16(avi::kSuperIndexLongsPerEntry);
            w.u8(0); // bIndexSubType
            w.u8(avi::index::kIndexOfIndexes);
            w.u32(static_cast<std::uint32_t>(s.superIndex.size())); // nEntriesInUse
            w.u32(s.chunkId);
            w.zeros(avi::kIndexHeaderSize - (w.size() - head)); // dwReserved[3]
            for (const auto &e : s.superIndex) {
                w.u64(static_cast<std::uint64_t>(e.offset));
                w.u32(e.size);
                w.u32(e.duration);
            }
            w.zeros(avi::kSuperIndexEntrySize * (kSuperIndexEntries - s.superIndex.size()));
        } else {
            w.zeros(avi::superIndexSize(kSuperIndexEntries));
        }
        w.end();
        w.end();
    }
    if (odml) {
        w.beginList("LIST", "odml");
        w.begin("dmlh");
        w.u32(static_cast<std::uint32_t>(video ? video->chunks : 0)); // dwTotalFrames
        w.zeros(avi::kExtendedHeaderSize - 4);
        w.end();
        w.end();
    } else {
        w.begin("JUNK");
        w.zeros(riff::kListTypeSize + kChunkHeader + avi::kExtendedHeaderSize);
        w.end();
    }
    w.end(); // hdrl
    w.beginList("LIST", "movi");
    // The sizes of the open "RIFF" and "movi" are patched by the caller.
    return w.take();
}

Flow AviMuxFilter::writeBytes(std::vector<std::uint8_t> bytes)
{
    auto sample = MediaSample::create(bytes.size());
    std::memcpy(sample->data(), bytes.data(), bytes.size());
    sample->setActualLength(bytes.size());
    sample->time = TimeRange{m_end, m_end + static_cast<std::int64_t>(bytes.size())};
    m_end += static_cast<std::int64_t>(bytes.size());
    return m_output.deliver(sample);
}

std::vector<std::uint8_t> AviMuxFilter::standardIndex(std::size_t stream, const Form &form) const
{
    const Stream &s = m_streams[stream];
    ChunkWriter w;
    const char ix[5] = {'i', 'x', static_cast<char>('0' + stream / 10),
                        static_cast<char>('0' + stream % 10), 0};
    w.begin(fourCC(ix));
    w.u16(avi::kStandardIndexLongsPerEntry);
    w.u8(0); // bIndexSubType
    w.u8(avi::index::kIndexOfChunks);
    w.u32(static_cast<std::uint32_t>(s.formIndex.size())); // nEntriesInUse
    w.u32(s.chunkId);
    w.u64(static_cast<std::uint64_t>(form.movi)); // qwBaseOffset
    w.u32(0);                                     // dwReserved
    for (const auto &e : s.formIndex) {
        w.u32(static_cast<std::uint32_t>(e.offset + kChunkHeader - form.movi)); // to the data
        w.u32(e.size | (e.key ? 0 : avi::kNotKeyframeBit));
    }
    w.end();
    return w.take();
}

// Ends the current form: its "ix##" indexes when the file is OpenDML, the
// "idx1" after the first form's "movi". During streaming the bytes go out
// as samples; at stop through `io`.
Flow AviMuxFilter::closeForm(bool atStop, IStream *io)
{
    Form &form = m_forms.back();
    const bool odml = !atStop || m_forms.size() > 1;
    auto put = [&](std::vector<std::uint8_t> bytes) {
        if (!atStop)
            return writeBytes(std::move(bytes));
        if (!io->Seek(m_end) || !io->Write(bytes.data(), bytes.size()))
            return Flow::Error;
        m_end += static_cast<std::int64_t>(bytes.size());
        return Flow::Ok;
    };
    if (odml) {
        for (std::size_t i = 0; i < m_streams.size(); ++i) {
            Stream &s = m_streams[i];
            if (s.superIndex.size() >= kSuperIndexEntries) {
                reportError(name() + ": the file is too large for its OpenDML index");
                return Flow::Error;
            }
            const std::int64_t at = m_end;
            auto ix = standardIndex(i, form);
            const auto size = static_cast<std::uint32_t>(ix.size());
            std::uint32_t duration = static_cast<std::uint32_t>(s.formIndex.size());
            if (auto wave = s.type.waveFormat()) {
                std::int64_t bytes = 0;
                for (const auto &e : s.formIndex)
                    bytes += e.size;
                duration = static_cast<std::uint32_t>(bytes / std::max<int>(wave->nBlockAlign, 1));
            }
            if (const Flow f = put(std::move(ix)); f != Flow::Ok)
                return f;
            s.superIndex.push_back({at, size, duration});
        }
    }
    const std::int64_t moviEnd = m_end;
    if (m_forms.size() == 1) {
        ChunkWriter w;
        w.begin("idx1");
        const std::int64_t base = form.movi + kChunkHeader; // the "movi" list type
        for (std::size_t i = 0; i < m_idx1.size(); ++i) {
            w.u32(m_streams[m_idx1Streams[i]].chunkId);
            w.u32(m_idx1[i].key ? avi::idx1::kKeyframe : 0);
            w.u32(static_cast<std::uint32_t>(m_idx1[i].offset - base));
            w.u32(m_idx1[i].size);
        }
        w.end();
        if (const Flow f = put(w.take()); f != Flow::Ok)
            return f;
        for (auto &s : m_streams)
            s.firstFormChunks = static_cast<std::uint32_t>(s.chunks);
    }
    form.end = m_end;
    // Sizes of the form and its "movi" (the first form's are in its header).
    if (atStop && m_forms.size() > 1) {
        for (const Form &f : m_forms) {
            if (f.offset == 0)
                continue;
            ChunkWriter w;
            w.fourcc("RIFF");
            w.u32(static_cast<std::uint32_t>(f.end - f.offset - kChunkHeader));
            w.fourcc("AVIX");
            w.fourcc("LIST");
            w.u32(static_cast<std::uint32_t>((&f == &form ? moviEnd : f.end) - f.movi -
                                             kChunkHeader));
            w.fourcc("movi");
            const auto bytes = w.take();
            if (!io->Seek(f.offset) || !io->Write(bytes.data(), bytes.size()))
                return Flow::Error;
        }
    }
    for (auto &s : m_streams)
        s.formIndex.clear();
    return Flow::Ok;
}

Flow AviMuxFilter::openForm()
{
    Form form;
    form.offset = m_end;
    form.movi = m_end + kListHeader;
    m_forms.push_back(form);
    ChunkWriter w; // sizes written at stop
    w.fourcc("RIFF");
    w.u32(0);
    w.fourcc("AVIX");
    w.fourcc("LIST");
    w.u32(0);
    w.fourcc("movi");
    return writeBytes(w.take());
}

Flow AviMuxFilter::receive(InputPin &pin, const SamplePtr &sample)
{
    if (!isFlowing())
        return Flow::Flushing;
    std::lock_guard lock(m_mutex);
    Stream *s = streamOf(pin);
    if (!s || m_failed)
        return Flow::Error;
    if (sample->typeChange && *sample->typeChange != s->type) {
        // Stream headers are written at Stop, so a format learnt from the
        // first sample (a DV splitter reading the frames' own audio rate)
        // becomes the stream's format. A change after the first chunk cannot
        // be described by one stream header.
        const MediaType &next = *sample->typeChange;
        if (s->accepted > 0 || next.major() != s->type.major() ||
            next.format().size() != s->type.format().size()) {
            m_failed = true;
            reportError(name() + ": the format of a stream changed after its first sample");
            return Flow::Error;
        }
        s->type = next;
        if (const auto info = next.videoInfo(); info && info->AvgTimePerFrame > 0)
            s->frameDuration = info->AvgTimePerFrame;
    }
    const std::size_t size = sample->actualLength();
    const std::int64_t chunk = kChunkHeader + static_cast<std::int64_t>(size) + (size & 1);
    if (chunk > m_riffLimit / 2) {
        m_failed = true;
        reportError(name() + ": a sample of " + std::to_string(size) + " bytes");
        return Flow::Error;
    }
    if (s->accepted == 0) {
        if (s->frameDuration <= 0 && sample->time && sample->time->stop > sample->time->start)
            s->frameDuration = sample->time->stop - sample->time->start;
        if (s->frameDuration <= 0 && s->fccType != fourCC("auds"))
            s->frameDuration = (size == kDv525.frameBytes ? kDv525 : kDv625).frameDuration;
    }

    auto out = m_chunks.get(static_cast<std::size_t>(chunk));
    std::uint8_t *p = out->data();
    const std::uint32_t id = s->chunkId;
    const auto length = static_cast<std::uint32_t>(size);
    for (int i = 0; i < 4; ++i) {
        p[i] = static_cast<std::uint8_t>(id >> (8 * i));
        p[kSizeField + i] = static_cast<std::uint8_t>(length >> (8 * i));
    }
    if (size > 0)
        std::memcpy(p + kChunkHeader, sample->data(), size);
    if (size & 1)
        p[kChunkHeader + size] = 0;
    out->setActualLength(static_cast<std::size_t>(chunk));

    Waiting waiting{std::move(out), length, sample->syncPoint || s->fccType == fourCC("auds"),
                    s->lastOrder, std::nullopt};
    if (sample->time) {
        waiting.order = s->segmentStart + sample->time->start;
        waiting.reached = s->segmentStart + sample->time->stop;
        s->lastOrder = *waiting.reached;
    }
    ++s->accepted;
    s->waiting.push_back(std::move(waiting));
    return drain();
}

Flow AviMuxFilter::drain()
{
    for (;;) {
        Stream *next = nullptr;
        bool blocked = false;
        bool overfull = false;
        for (auto &s : m_streams) {
            if (s.waiting.empty()) {
                blocked = blocked || !s.ended;
                continue;
            }
            overfull = overfull || s.waiting.size() > kMaxWaiting;
            if (next == nullptr || s.waiting.front().order < next->waiting.front().order)
                next = &s;
        }
        if (next == nullptr || (blocked && !overfull))
            return Flow::Ok;
        Waiting chunk = std::move(next->waiting.front());
        next->waiting.pop_front();
        if (const Flow f = writeChunk(*next, std::move(chunk)); f != Flow::Ok)
            return f;
    }
}

Flow AviMuxFilter::writeChunk(Stream &stream, Waiting waiting)
{
    Stream *s = &stream;
    const auto chunk = static_cast<std::int64_t>(waiting.chunk->actualLength());
    // Room the form still needs for its indexes, this chunk included.
    Form &form = m_forms.back();
    std::int64_t trailer = 0;
    std::size_t formChunks = 0;
    for (const auto &other : m_streams) {
        trailer +=
            kChunkHeader + avi::kIndexHeaderSize +
            avi::kStandardIndexEntrySize * static_cast<std::int64_t>(other.formIndex.size() + 1);
        formChunks += other.formIndex.size();
    }
    if (m_forms.size() == 1)
        trailer +=
            kChunkHeader + avi::kIdx1EntrySize * static_cast<std::int64_t>(m_idx1.size() + 1);
    if (formChunks > 0 && m_end + chunk + trailer - form.offset > m_riffLimit) {
        Flow f = closeForm(false, nullptr);
        if (f == Flow::Ok)
            f = openForm();
        if (f != Flow::Ok) {
            m_failed = f == Flow::Error;
            return f;
        }
    }

    SamplePtr out = std::move(waiting.chunk);
    out->time = TimeRange{m_end, m_end + chunk};
    const IndexEntry entry{m_end, waiting.length, waiting.key};
    s->formIndex.push_back(entry);
    if (m_forms.size() == 1) {
        m_idx1.push_back(entry);
        m_idx1Streams.push_back(static_cast<std::uint8_t>(s - m_streams.data()));
    }
    ++s->chunks;
    s->bytes += static_cast<std::int64_t>(waiting.length);
    s->maxChunk = std::max(s->maxChunk, waiting.length);
    m_end += chunk;
    if (waiting.reached) {
        const std::int64_t reached = *waiting.reached;
        std::int64_t known = m_position.load();
        while (reached > known && !m_position.compare_exchange_weak(known, reached)) {
        }
    }
    const Flow result = m_output.deliver(out);
    if (result == Flow::Error)
        m_failed = true;
    return result;
}

Flow AviMuxFilter::endOfStream(InputPin &pin)
{
    {
        std::lock_guard lock(m_mutex);
        if (Stream *s = streamOf(pin))
            s->ended = true;
        if (!m_failed)
            if (const Flow f = drain(); f != Flow::Ok)
                return f;
        for (const auto &s : m_streams)
            if (!s.ended || !s.waiting.empty())
                return Flow::Ok;
        // A file of video streams without a frame is no video: a source
        // whose frames could not be found must not end as a finished file.
        const bool noVideo = std::any_of(m_streams.begin(), m_streams.end(), [](const Stream &s) {
            return s.chunks == 0 && (s.fccType == fourCC("vids") || s.fccType == fourCC("iavs"));
        });
        if (noVideo && !m_failed) {
            m_failed = true;
            reportError(name() + ": no video frame reached the output");
            return Flow::Error;
        }
    }
    return m_output.deliverEndOfStream();
}

void AviMuxFilter::beginFlush(InputPin &pin)
{
    {
        std::lock_guard lock(m_mutex);
        if (Stream *s = streamOf(pin))
            s->waiting.clear();
    }
    m_output.deliverBeginFlush();
}

void AviMuxFilter::endFlush(InputPin &)
{
    m_output.deliverEndFlush();
}

void AviMuxFilter::newSegment(InputPin &pin, std::int64_t start, std::int64_t stop)
{
    {
        std::lock_guard lock(m_mutex);
        if (Stream *s = streamOf(pin)) {
            s->segmentStart = start;
            s->ended = false;
        }
    }
    // The output is one byte stream: its segment is the file.
    (void)stop;
}

std::optional<std::int64_t> AviMuxFilter::renderedPosition() const
{
    const std::int64_t position = m_position.load();
    if (position < 0)
        return std::nullopt;
    return position;
}

bool AviMuxFilter::writeHeaders()
{
    auto *io = m_output.peer() ? m_output.peer()->queryInterface<IStream>() : nullptr;
    if (!io)
        return false;
    if (closeForm(true, io) != Flow::Ok)
        return false;
    auto header = headerBytes();
    const Form &first = m_forms.front();
    const auto riffSize = static_cast<std::uint32_t>(first.end - kChunkHeader);
    // The first form's "movi" ends where its "idx1" starts: after the
    // "ix##" chunks of an OpenDML file, after the last chunk otherwise.
    const std::int64_t idx1Size =
        kChunkHeader + avi::kIdx1EntrySize * static_cast<std::int64_t>(m_idx1.size());
    const auto moviSize =
        static_cast<std::uint32_t>(first.end - idx1Size - first.movi - kChunkHeader);
    // The header ends with the "movi" list's FourCC, size and list type.
    const std::size_t moviSizeField =
        header.size() - static_cast<std::size_t>(kListHeader) + kSizeField;
    for (int i = 0; i < 4; ++i) {
        header[kSizeField + i] = static_cast<std::uint8_t>(riffSize >> (8 * i));
        header[moviSizeField + i] = static_cast<std::uint8_t>(moviSize >> (8 * i));
    }
    return io->Seek(0) && io->Write(header.data(), header.size());
}

void AviMuxFilter::Stop()
{
    bool written = true;
    {
        std::lock_guard lock(m_mutex);
        if (state() != FilterState::Stopped && !m_failed && !m_forms.empty())
            written = writeHeaders();
        m_forms.clear();
    }
    if (!written)
        reportError(name() + ": the AVI headers cannot be written");
    Filter::Stop();
}

} // namespace vidora::media
