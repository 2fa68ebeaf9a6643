#pragma once

// The interfaces that callers ask filters and pins for by name
// (Filter::queryInterface<T>(), Pin::queryInterface<T>()).
#include "platform/media/media_type.h"

#include <QString>
#include <cstdint>
#include <optional>

namespace vidora::media {

// A filter that reads a file.
class IFileSourceFilter
{
public:
    // Opens the file for reading (a type, when given, replaces the type the
    // output proposes); false when it cannot be opened.
    virtual bool Load(const QString &path, const MediaType *type) = 0;
    virtual QString GetCurFile() const = 0;

protected:
    ~IFileSourceFilter() = default;
};

// Overwrite mode of a file writer: the output replaces a file of that name.
constexpr std::uint32_t AM_FILE_OVERWRITE = 1;

// A filter that writes a file.
class IFileSinkFilter2
{
public:
    // False for an empty path, while the graph runs, or when the path is a
    // file that the graph reads.
    virtual bool SetFileName(const QString &path, const MediaType *type) = 0;
    virtual QString GetCurFile() const = 0;
    // 0 or AM_FILE_OVERWRITE; other flags are refused.
    virtual bool SetMode(std::uint32_t flags) = 0;
    virtual std::uint32_t GetMode() const = 0;

protected:
    ~IFileSinkFilter2() = default;
};

// Positional reads and writes of what a pin writes (a file writer's input):
// headers patched after the data, from a stream's Stop as well.
class IStream
{
public:
    virtual bool Seek(std::int64_t position) = 0; // from the start
    // At the position, which advances by what was done.
    virtual bool Write(const void *data, std::size_t size) = 0;
    // Bytes read (fewer at the end of what was written); -1 on failure.
    virtual std::int64_t Read(void *data, std::size_t size) = 0;

protected:
    ~IStream() = default;
};

// Random-access reads of a byte stream (a file source's output); any thread.
class IAsyncReader
{
public:
    virtual std::int64_t Length() const = 0;
    // False when the range is not wholly inside the stream or cannot be read.
    virtual bool SyncRead(std::int64_t position, std::size_t size, void *buffer) = 0;

protected:
    ~IAsyncReader() = default;
};

// The output format of a converter (the audio converter's sample rate).
class IAMStreamConfig
{
public:
    // While stopped; false for a type it cannot make. Set while the output
    // is connected, the new format reaches downstream as the type change of
    // the output's first sample.
    virtual bool SetFormat(const MediaType &type) = 0;
    virtual std::optional<MediaType> GetFormat() const = 0;

protected:
    ~IAMStreamConfig() = default;
};

// The loudness of an audio renderer, in hundredths of a decibel: 0 is full
// volume, -10000 silence.
class IBasicAudio
{
public:
    // Any thread; false (the volume unchanged) outside -10000..0.
    virtual bool put_Volume(std::int32_t volume) = 0;
    virtual std::int32_t get_Volume() const = 0;

protected:
    ~IBasicAudio() = default;
};

} // namespace vidora::media
