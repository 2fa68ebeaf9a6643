#pragma once

// The AVI header parser behind the file list's codec column: it walks an AVI
// file's RIFF forms read-only to tell whether the file is a well-formed AVI
// and which stream is its video.
#include "formats/avilayout.h"
#include "formats/riff.h"

#include <QString>

#include <array>
#include <vector>

namespace vidora {

// The first bytes of a "strh" chunk, as many as an AVISTREAMHEADER holds; a
// shorter chunk leaves the rest zero.
class TAvistream
{
public:
    static constexpr int kHeaderSize = avi::kStreamHeaderSize;

    std::array<char, kHeaderSize> header{};

    FourCC fccType() const { return readLE32(header.data() + avi::strh::kTypeOffset); }
    FourCC fccHandler() const { return readLE32(header.data() + avi::strh::kHandlerOffset); }
};

// Walks the file at construction. Only failing to open the file throws
// (AviFileError); a malformed or truncated file leaves Parsed() false, or
// true when an earlier RIFF form was complete, and the video stream as far as
// it was found. The file is opened read-only and closed before the
// constructor returns.
//
// The walk:
// - top level: a "RIFF" form must fit in the file (a recording cut short is
//   not parsed however complete its headers are), be at least 4 bytes and have
//   a list type whose first three characters, upper-cased, are "AVI" ("AVI "
//   and "AVIX"); each such form walked without failure sets the parsed flag;
// - every enclosing list counts down its remaining bytes by size + 8 per child
//   (pad bytes are not counted); one pad byte is skipped before a header that
//   would start at an odd position; a child larger than what its list has
//   left is a failure;
// - form body: "LIST" "hdrl" is walked; "movi", "idx1" and the rest skipped;
// - "hdrl": each "LIST" "strl" is one stream; "LIST" "odml" is walked with
//   its "dmlh" taken as 248 bytes whatever its size (its result is ignored);
// - "strl": "strh" gives the stream header (the first "vids" or "iavs" stream
//   is the video stream); an "indx" below 88 bytes ends the stream list with
//   the position 88 bytes into its data, and the header list goes on from
//   there.
class TAviParam
{
public:
    explicit TAviParam(const QString &fileName);
    virtual ~TAviParam() = default;

    TAviParam(const TAviParam &) = delete;
    TAviParam &operator=(const TAviParam &) = delete;

    bool Parsed() const { return m_parsed; }
    // The video stream, or nullptr when the file has none.
    const TAvistream *GetVideoStream() const;
    // The video stream's handler as four characters in file order, or "####".
    QString GetVideoHandler() const;
    // One entry per "strl" list walked, in file order.
    const std::vector<TAvistream> &Streams() const { return m_streams; }

private:
    std::vector<TAvistream> m_streams;
    int m_videoIndex = -1;
    bool m_parsed = false;
};

// What the file list creates; it adds nothing.
class TFriendlyAviParam : public TAviParam
{
public:
    using TAviParam::TAviParam;
};

} // namespace vidora
