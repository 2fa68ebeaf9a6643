#pragma once

// The audio area of a DV (IEC 61834-2, SMPTE 314M 25 Mbit/s) frame, shared by
// the DV splitter and the DV muxer.
//
// There's a couple of assumptions being made here:
// 1. Each DIF sequence holds nine audio DIF blocks, block j at DIF block
//    6 + 16 j of the sequence. Bytes 0–2 of a block are its identifier,
//    bytes 3–7 one AAUX pack, bytes 8–79 the 72 bytes of audio data.
// 2. The audio of a frame is shuffled over the first half of the DIF
//    sequences (channel 1) and the second half (channel 2). In 16-bit
//    linear mode the two channels are the left and right samples of one
//    stereo pair; in 12-bit non-linear mode (32 kHz only) each half holds
//    a whole stereo pair, so a frame carries four channels.
// 3. The AAUX source pack (0x50) of each half says how many samples the
//    frame holds, at which rate and quantisation; it is repeated in every
//    sequence of the half, and a reader trusts the first one it finds.
#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

#include "formats/dvsystem.h"

namespace vidora::media::dv {

enum class AudioRate : std::uint8_t {
    Hz48000 = 0, // SMP codes of the AAUX source pack
    Hz44100 = 1,
    Hz32000 = 2,
};

enum class Quantization : std::uint8_t {
    Linear16 = 0, // QU codes of the AAUX source pack
    NonLinear12 = 1,
};

// The system table lives with the other DV facts in formats/dvsystem.h.
using System = vidora::DvSystem;

inline constexpr std::size_t kBlockBytes = 80;
inline constexpr std::size_t kSequenceBytes = kDvSequenceBytes;
inline constexpr int kAudioBlocksPerSequence = 9;
inline constexpr std::uint8_t kPackAauxSource = 0x50;
inline constexpr std::uint8_t kPackAauxSourceControl = 0x51;
// The sample value that marks an audio error in each quantisation.
inline constexpr std::uint16_t kError16 = 0x8000;
inline constexpr std::uint16_t kError12 = 0x800;

int rateHz(AudioRate rate);
std::optional<AudioRate> rateFromHz(int hz);

// Samples of one channel a frame can hold: 36 positions of two bytes (16-bit)
// or 24 positions of three bytes per two channels (12-bit).
int capacity(const System &sys, Quantization quant);

// The number of samples the standard puts in frame `frameIndex` (counted from
// the start of the stream): 625/50 has whole numbers; 525/60 at 48 kHz uses
// the five-frame cycle 1600, 1602, 1602, 1602, 1602; other 525/60 rates
// spread rate × 1001 / 30000 samples per frame with their running sum.
int standardSamples(const System &sys, AudioRate rate, std::int64_t frameIndex);

// The decoded AAUX source pack of one half.
struct SourcePack
{
    AudioRate rate = AudioRate::Hz48000;
    Quantization quant = Quantization::Linear16;
    int samples = 0; // minSamples + AF_SIZE, not yet checked against capacity
};

// The first AAUX source pack in the audio blocks of half `half` (0: the first
// half of the sequences, 1: the second). Nothing when there is none or its
// rate or quantisation is one this program does not know. `frame` must be
// sys.frameBytes long.
std::optional<SourcePack> readSourcePack(std::span<const std::uint8_t> frame, const System &sys,
                                         int half);

// 12-bit non-linear codes (sign-extended, -2048..2047) to 16-bit linear and
// back (IEC 61834-2 segments: linear up to ±512, then each segment of 256
// codes doubles the step).
std::int16_t expand12(int code);
int compress12(std::int16_t sample);

// Reads `samples` stereo samples into `out` (interleaved L R, 2 × samples
// values). 16-bit: the pair spread over both halves; 12-bit: the pair of
// `half`. Error samples (kError16, or the 12-bit kError12) come out as
// kError16 so the caller can conceal them; no 12-bit code expands to it.
// `samples` must not exceed capacity().
void readSamples(std::span<const std::uint8_t> frame, const System &sys, Quantization quant,
                 int half, int samples, std::span<std::int16_t> out);
// The reverse: writes `samples` interleaved stereo samples; the data
// positions past them are written as silence.
void writeSamples(std::span<std::uint8_t> frame, const System &sys, Quantization quant, int half,
                  int samples, std::span<const std::int16_t> in);

using Pack = std::array<std::uint8_t, 5>;
// The AAUX source pack (0x50) for half `half` of a frame with `samples`
// samples. `channels`: 2 for one stereo pair, 4 for the 12-bit two-pair mode.
Pack sourcePack(const System &sys, AudioRate rate, Quantization quant, int samples, int half,
                int channels);
// The AAUX source control pack (0x51): no copy restriction, original
// recording, normal forward speed.
Pack sourceControlPack(const System &sys);
// Writes the source pack of each half and the source control pack into their
// places in every sequence (audio blocks 3 and 4 of even sequences, 0 and 1
// of odd ones); every other pack position keeps what it holds.
void writeAauxPacks(std::span<std::uint8_t> frame, const System &sys, const Pack &source0,
                    const Pack &source1, const Pack &control);

// The payload (PC1..PC4) of a pack as the little-endian DWORD that DVINFO
// stores.
std::uint32_t packPayload(const Pack &pack);

} // namespace vidora::media::dv
