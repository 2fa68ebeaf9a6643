#include "platform/media/filters/dv_audio.h"

#include <algorithm>
#include <cassert>

namespace vidora::media::dv {

namespace {

std::size_t audioBlockOffset(int sequence, int audioBlock)
{
    return static_cast<std::size_t>(sequence) * kSequenceBytes +
           static_cast<std::size_t>(6 + 16 * audioBlock) * kBlockBytes;
}

// Where sample n of a channel lies (IEC 61834-2 audio shuffling). `halfSeq`
// is the number of sequences per half; the returned sequence is within the
// half (add the half's first sequence). Samples go round the sequences of
// the half in steps of three blocks, so a lost sequence loses samples spread
// over the whole frame rather than a run of them.
struct Place
{
    int sequence;
    int block;
    int position;
};

Place shuffle(int n, int halfSeq, int perPosition)
{
    const int third = perPosition / 3;
    Place p;
    p.sequence = (n / 3 + 2 * (n % 3)) % halfSeq;
    p.block = 3 * (n % 3) + (n % perPosition) / third;
    p.position = n / perPosition;
    return p;
}

// Unsigned 12-bit segment expansion for codes 0..2047.
int expandPositive(int code)
{
    if (code < 512)
        return code;
    const int segment = code >> 8; // 2..7
    return (code - 256 * (segment - 1)) << (segment - 1);
}

int compressPositive(int value)
{
    if (value < 512)
        return value;
    int segment = 2;
    while ((value >> (segment - 1)) >= 512)
        ++segment;
    return (value >> (segment - 1)) + 256 * (segment - 1);
}

} // namespace

int rateHz(AudioRate rate)
{
    switch (rate) {
    case AudioRate::Hz48000:
        return 48000;
    case AudioRate::Hz44100:
        return 44100;
    case AudioRate::Hz32000:
        return 32000;
    }
    return 0;
}

std::optional<AudioRate> rateFromHz(int hz)
{
    for (auto rate : {AudioRate::Hz48000, AudioRate::Hz44100, AudioRate::Hz32000})
        if (rateHz(rate) == hz)
            return rate;
    return std::nullopt;
}

int capacity(const System &sys, Quantization quant)
{
    const int positions = quant == Quantization::Linear16 ? 36 : 24;
    return positions * sys.samplesPerPosition;
}

int standardSamples(const System &sys, AudioRate rate, std::int64_t frameIndex)
{
    if (rate == AudioRate::Hz48000)
        return sys.samples48k[static_cast<std::size_t>(frameIndex % 5)];
    const std::int64_t hz = rateHz(rate);
    const auto total = [hz, &sys](std::int64_t frames) {
        return frames * hz * sys.rate.den / sys.rate.num;
    };
    return static_cast<int>(total(frameIndex + 1) - total(frameIndex));
}

std::optional<SourcePack> readSourcePack(std::span<const std::uint8_t> frame, const System &sys,
                                         int half)
{
    if (frame.size() < sys.frameBytes)
        return std::nullopt;
    const int halfSeq = sys.difSequences / 2;
    for (int s = half * halfSeq; s < (half + 1) * halfSeq; ++s) {
        for (int b = 0; b < kAudioBlocksPerSequence; ++b) {
            const auto *pack = frame.data() + audioBlockOffset(s, b) + 3;
            if (pack[0] != kPackAauxSource)
                continue;
            const int afSize = pack[1] & 0x3f;     // PC1 bits 5-0: samples above the minimum
            const int smp = (pack[4] >> 3) & 0x07; // PC4 bits 5-3: sampling frequency
            const int qu = pack[4] & 0x07;         // PC4 bits 2-0: quantisation
            if (smp > 2 || qu > 1)
                return std::nullopt;
            SourcePack result;
            result.rate = static_cast<AudioRate>(smp);
            result.quant = static_cast<Quantization>(qu);
            result.samples = sys.minSamples[static_cast<std::size_t>(smp)] + afSize;
            return result;
        }
    }
    return std::nullopt;
}

std::int16_t expand12(int code)
{
    if (code >= 0)
        return static_cast<std::int16_t>(expandPositive(code));
    // The negative segments mirror the positive ones in ones' complement.
    return static_cast<std::int16_t>(~expandPositive(~code));
}

int compress12(std::int16_t sample)
{
    if (sample >= 0)
        return compressPositive(sample);
    // -2048 (0x800) is the error code: the most negative value is -2047.
    return std::max(~compressPositive(~static_cast<int>(sample)), -2047);
}

void readSamples(std::span<const std::uint8_t> frame, const System &sys, Quantization quant,
                 int half, int samples, std::span<std::int16_t> out)
{
    assert(frame.size() >= sys.frameBytes && samples <= capacity(sys, quant) &&
           out.size() >= static_cast<std::size_t>(samples) * 2);
    const int halfSeq = sys.difSequences / 2;
    for (int n = 0; n < samples; ++n) {
        const Place p = shuffle(n, halfSeq, sys.samplesPerPosition);
        if (quant == Quantization::Linear16) {
            // Left in the first half, right in the second; big-endian words.
            for (int c = 0; c < 2; ++c) {
                const auto *d = frame.data() + audioBlockOffset(p.sequence + c * halfSeq, p.block) +
                                8 + 2 * p.position;
                out[2 * n + c] = static_cast<std::int16_t>(d[0] << 8 | d[1]);
            }
        } else {
            // Three bytes per sample pair: L high 8 bits, R high 8 bits, then
            // the low 4 bits of L and of R.
            const auto *d = frame.data() + audioBlockOffset(p.sequence + half * halfSeq, p.block) +
                            8 + 3 * p.position;
            const int left = d[0] << 4 | d[2] >> 4;
            const int right = d[1] << 4 | (d[2] & 0x0f);
            const auto toLinear = [](int code) {
                if (code == kError12)
                    return static_cast<std::int16_t>(kError16);
                return expand12(code >= 0x800 ? code - 0x1000 : code);
            };
            out[2 * n] = toLinear(left);
            out[2 * n + 1] = toLinear(right);
        }
    }
}

void writeSamples(std::span<std::uint8_t> frame, const System &sys, Quantization quant, int half,
                  int samples, std::span<const std::int16_t> in)
{
    assert(frame.size() >= sys.frameBytes && samples <= capacity(sys, quant) &&
           in.size() >= static_cast<std::size_t>(samples) * 2);
    const int halfSeq = sys.difSequences / 2;
    const int total = capacity(sys, quant);
    for (int n = 0; n < total; ++n) {
        const Place p = shuffle(n, halfSeq, sys.samplesPerPosition);
        const std::int16_t left = n < samples ? in[2 * n] : 0;
        const std::int16_t right = n < samples ? in[2 * n + 1] : 0;
        if (quant == Quantization::Linear16) {
            const std::int16_t value[2] = {left, right};
            for (int c = 0; c < 2; ++c) {
                auto *d = frame.data() + audioBlockOffset(p.sequence + c * halfSeq, p.block) + 8 +
                          2 * p.position;
                const auto u = static_cast<std::uint16_t>(value[c]);
                d[0] = static_cast<std::uint8_t>(u >> 8);
                d[1] = static_cast<std::uint8_t>(u & 0xff);
            }
        } else {
            auto *d = frame.data() + audioBlockOffset(p.sequence + half * halfSeq, p.block) + 8 +
                      3 * p.position;
            const auto l = static_cast<unsigned>(compress12(left)) & 0xfff;
            const auto r = static_cast<unsigned>(compress12(right)) & 0xfff;
            d[0] = static_cast<std::uint8_t>(l >> 4);
            d[1] = static_cast<std::uint8_t>(r >> 4);
            d[2] = static_cast<std::uint8_t>((l & 0x0f) << 4 | (r & 0x0f));
        }
    }
}

Pack sourcePack(const System &sys, AudioRate rate, Quantization quant, int samples, int half,
                int channels)
{
    const int afSize = samples - sys.minSamples[static_cast<std::size_t>(rate)];
    Pack p{};
    p[0] = kPackAauxSource;
    // 48 kHz follows the standard's locked sample counts; the other rates
    // spread their samples without a lock to the video.
    const int unlocked = rate == AudioRate::Hz48000 ? 0 : 1;
    p[1] = static_cast<std::uint8_t>(unlocked << 7 |   // LF
                                     1 << 6 |          // reserved
                                     (afSize & 0x3f)); // AF_SIZE
    const bool fourChannels = channels == 4;
    p[2] = static_cast<std::uint8_t>(0 << 7 |                      // reserved
                                     (fourChannels ? 1 : 0) << 5 | // CHN: channels per block
                                     (fourChannels ? 1 : 0) << 4 | // PA: independent pairs
                                     (fourChannels ? 0 : half));   // AUDIO MODE: L / R half
    p[3] = static_cast<std::uint8_t>(1 << 7 |                      // reserved
                                     1 << 6 |                      // ML: not multi-language
                                     (sys.is525 ? 0 : 1) << 5 |    // 50/60
                                     0);                           // STYPE: SD 2 channels per half
    p[4] = static_cast<std::uint8_t>(1 << 7 |                      // EF: emphasis off
                                     0 << 6 |                      // TC: time constant
                                     static_cast<int>(rate) << 3 | // SMP
                                     static_cast<int>(quant));     // QU
    return p;
}

Pack sourceControlPack(const System &)
{
    Pack p{};
    p[0] = kPackAauxSourceControl;
    p[1] = 0x33; // CGMS: copy free; ISR: analogue input; CMP: no information
    p[2] = 0xcf; // REC ST, REC END: no; REC MODE: original; INSERT CH: none
    p[3] = 0xa0; // DRF: forward; SPEED: normal
    p[4] = 0xff; // GENRE: no information
    return p;
}

void writeAauxPacks(std::span<std::uint8_t> frame, const System &sys, const Pack &source0,
                    const Pack &source1, const Pack &control)
{
    assert(frame.size() >= sys.frameBytes);
    const int halfSeq = sys.difSequences / 2;
    for (int s = 0; s < sys.difSequences; ++s) {
        const int first = s % 2 == 0 ? 3 : 0;
        const Pack &source = s < halfSeq ? source0 : source1;
        std::copy(source.begin(), source.end(), frame.data() + audioBlockOffset(s, first) + 3);
        std::copy(control.begin(), control.end(),
                  frame.data() + audioBlockOffset(s, first + 1) + 3);
    }
}

std::uint32_t packPayload(const Pack &pack)
{
    return static_cast<std::uint32_t>(pack[1]) | static_cast<std::uint32_t>(pack[2]) << 8 |
           static_cast<std::uint32_t>(pack[3]) << 16 | static_cast<std::uint32_t>(pack[4]) << 24;
}

} // namespace vidora::media::dv
