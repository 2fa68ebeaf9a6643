#pragma once

// The fixed layouts of the structures an AVI file stores: the sizes of its
// headers, format blocks and index records, and the offsets of the fields
// that code reads or patches in place (counted from the structure's first
// byte, which is the data start of the chunk that holds it). All of them are
// little-endian. The header parser, the analyser, the header rewriter, the
// media types, the AVI splitter and the AVI muxer take their sizes from here;
// each keeps its own way of walking, reading or writing the file.
#include <cstdint>

namespace vidora::avi {

// AVIMAINHEADER, the data of "avih".
inline constexpr int kMainHeaderSize = 56;
namespace avih {
inline constexpr int kReservedOffset = 40; // dwReserved[4], up to the end
}

// AVISTREAMHEADER, the data of "strh".
inline constexpr int kStreamHeaderSize = 56;
namespace strh {
inline constexpr int kTypeOffset = 0;        // fccType
inline constexpr int kHandlerOffset = 4;     // fccHandler
inline constexpr int kScaleOffset = 20;      // dwScale; dwRate follows it
inline constexpr int kRateOffset = 24;       // dwRate
inline constexpr int kLengthOffset = 32;     // dwLength
inline constexpr int kSampleSizeOffset = 44; // dwSampleSize
} // namespace strh

// BITMAPINFOHEADER, the data of a video stream's "strf".
inline constexpr int kBitmapInfoHeaderSize = 40;
namespace bih {
inline constexpr int kCompressionOffset = 16; // biCompression, a FourCC
}

// VIDEOINFOHEADER, the media layer's video format block: two RECTs, bit rate,
// error rate and frame duration, then the BITMAPINFOHEADER.
inline constexpr int kVideoInfoHeaderSize = 88;
inline constexpr int kVideoInfoBitmapOffset = kVideoInfoHeaderSize - kBitmapInfoHeaderSize;

// WAVEFORMATEX, the data of an audio stream's "strf" (cbSize extra bytes
// follow it); PCMWAVEFORMAT is the same without cbSize.
inline constexpr int kWaveFormatExSize = 18;
inline constexpr int kPcmWaveFormatSize = 16;

// DVINFO: the DV packs of a type-1 stream's "strf", or of a type-2 video
// "strf" after its BITMAPINFOHEADER.
inline constexpr int kDvInfoSize = 32;

// The head of an OpenDML index, "indx" (AVISUPERINDEX) or "ix##"
// (AVISTDINDEX): wLongsPerEntry, bIndexSubType, bIndexType, nEntriesInUse,
// dwChunkId, then 12 bytes (dwReserved[3], or qwBaseOffset and dwReserved).
inline constexpr int kIndexHeaderSize = 24;
namespace index {
inline constexpr int kLongsPerEntryOffset = 0;
inline constexpr int kIndexTypeOffset = 3;
inline constexpr int kEntriesInUseOffset = 4;
inline constexpr int kBaseOffsetOffset = 12; // qwBaseOffset, in "ix##" only
inline constexpr int kIndexOfIndexes = 0;    // bIndexType of "indx"
inline constexpr int kIndexOfChunks = 1;     // bIndexType of "ix##"
} // namespace index

// An "indx" entry: qwOffset of an "ix##" chunk, dwSize, dwDuration.
inline constexpr int kSuperIndexEntrySize = 16;
inline constexpr int kSuperIndexLongsPerEntry = kSuperIndexEntrySize / 4;
// An "ix##" entry: dwOffset (to the chunk's data, from qwBaseOffset), dwSize
// (the high bit set for a chunk that is no key frame).
inline constexpr int kStandardIndexEntrySize = 8;
inline constexpr int kStandardIndexLongsPerEntry = kStandardIndexEntrySize / 4;
inline constexpr std::uint32_t kNotKeyframeBit = 0x80000000;

// The data size of an "indx" with room for `entries` entries.
constexpr int superIndexSize(int entries)
{
    return kIndexHeaderSize + kSuperIndexEntrySize * entries;
}

// An "idx1" entry: dwChunkId, dwFlags, dwOffset, dwSize.
inline constexpr int kIdx1EntrySize = 16;
namespace idx1 {
inline constexpr int kFlagsOffset = 4;
inline constexpr int kOffsetOffset = 8;
inline constexpr int kSizeOffset = 12;
inline constexpr std::uint32_t kKeyframe = 0x10; // in dwFlags: AVIIF_KEYFRAME
} // namespace idx1

// The OpenDML extended header, the data of "dmlh": dwTotalFrames, then
// reserved room.
inline constexpr int kExtendedHeaderSize = 248;

} // namespace vidora::avi
