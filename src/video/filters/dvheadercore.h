#pragma once

// The per-frame work of the DV header rewriting filter, apart from any filter
// framework: it gives re-encoded DV frames back the packs of their source
// frames, shifts the recording date and time, and sets the display mode.
//
// The in-place filter that wraps it passes each sample's buffer (its actual
// length) to processFrame on the streaming thread. The options may be set from
// any thread and apply from the next frame.
#include "video/filters/dvframeinfo.h"

#include <atomic>
#include <cstdint>
#include <span>

namespace vidora {

class DvSceneDetectCore;

// Copies the source frame's subcode and VAUX packs from the store into a frame
// of nSeq DIF sequences, position by position. Nothing else is copied: not the
// header block, not a DIF block or sync block identifier, not a source pack
// 0x60 (VAUX source, which states the line system), and nothing over a
// position holding a 0x60 pack, so the frame keeps its encoder's own system
// information. A store holding no frame (Sequences 0) copies nothing.
//
// Readers take the display mode and the recording date from the packs that
// follow a frame's first VAUX source pack (a camcorder's main VAUX area:
// 0x60, 0x61, 0x62, 0x63). So after each of the frame's own 0x60 packs, the
// source's 0x61, 0x62 and 0x63 (those it has) are written in that order,
// within the VAUX block; a pack copied into one of those slots moves to an
// empty VAUX slot of the sequence.
//
// When the frame's system differs from the source's, target sequence i takes
// source sequence i mod n (n the source's sequence count), and the frame field
// of each copied time code pack is scaled to the target rate: frames × target
// rate ÷ source rate, rounded down (30 frames a second for 525/60, 25 for
// 625/50). A frame field that is not a valid frame number is left as it is.
void CopyDvHeaderPacks(std::span<std::uint8_t> frame, int nSeq, const DvHeaderStore &store);

// Moves the frame's recording date and time by offsetDays (1/24 is one hour)
// and writes the result into every date and time pack of every sequence. A
// frame without a date, or whose date does not form a valid date-time or would
// leave the calendar, is left as it is (false).
bool ShiftDvRecDateTime(std::span<std::uint8_t> frame, int nSeq, double offsetDays);

class DvHeaderCore
{
public:
    // detector: the linked scene detector whose header store is copied; not
    // owned, must outlive this object; may be null (no copy then).
    explicit DvHeaderCore(const DvSceneDetectCore *detector);

    void setCopyHeaders(bool on) { m_copyHeaders.store(on); }
    bool copyHeaders() const { return m_copyHeaders.load(); }
    void setDateOffset(double days) { m_dateOffset.store(days); }
    double dateOffset() const { return m_dateOffset.load(); }
    void setWriteAspect(bool on) { m_writeAspect.store(on); }
    bool writeAspect() const { return m_writeAspect.load(); }
    void setAspectWide(bool wide) { m_aspectWide.store(wide); }
    bool aspectWide() const { return m_aspectWide.load(); }

    // One sample. A buffer of 120000 or 144000 bytes is a DV frame and is
    // rewritten in this order: the packs copied (CopyHeaders), the date
    // shifted (a DateOffset other than 0; the copied packs are the ones
    // shifted), the display mode set (WriteAspect). Returns whether the buffer
    // was a DV frame; any other buffer is left untouched.
    // `frameStore`: the detector's store as it stood after this frame's
    // source (a note on the sample); null reads the detector's present one.
    bool processFrame(std::span<std::uint8_t> sample, const DvHeaderStore *frameStore = nullptr);

private:
    const DvSceneDetectCore *m_detector;
    std::atomic<bool> m_copyHeaders{true};
    std::atomic<double> m_dateOffset{0.0};
    std::atomic<bool> m_writeAspect{false};
    std::atomic<bool> m_aspectWide{false};
    DvHeaderStore m_store; // the streaming thread's copy of the detector's store
};

} // namespace vidora
