#include "video/filters/dv_superposercore.h"

#include "video/filters/deinter2.h"

#include <QPainter>

#include <algorithm>
#include <exception>
#include <utility>

namespace vidora {

TincrustRec SuperposerSettings::InitialOptions()
{
    // The filter starts with every option zero or empty but the two date formats.
    TincrustRec options;
    options.When = 0;
    options.Seconds = 0;
    options.Font = TfontRecord{QString(), 0, 0, 0, 0, 0, 0};
    options.AutoSize = 0;
    options.Outline = 0;
    return options;
}

TfontRecord SuperposerSettings::InitialFont()
{
    TfontRecord font;
    font.Name = QStringLiteral("Arial");
    font.Size = -21;
    font.Color = 0xFFFFFF;
    font.Bold = 1;
    return font;
}

SuperposerCore::SuperposerCore() : m_font(OverlayFont(m_settings.Font)) {}

void SuperposerCore::SetOptions(const TincrustRec &options)
{
    QFont font = OverlayFont(options.Font);
    const std::lock_guard lock(m_settingsLock);
    m_settings.Options = options;
    m_settings.Font = options.Font;
    m_font = std::move(font);
}

void SuperposerCore::SetAlignment(std::uint8_t alignment)
{
    const std::lock_guard lock(m_settingsLock);
    m_settings.Alignment = alignment;
}

void SuperposerCore::SetDateOffset(double days)
{
    const std::lock_guard lock(m_settingsLock);
    m_settings.Options.DateOffset = days;
}

void SuperposerCore::SetDisplayMode(std::uint8_t when)
{
    const std::lock_guard lock(m_settingsLock);
    m_settings.Options.When = when;
}

void SuperposerCore::SetPosition(std::int32_t x, std::int32_t y, std::uint8_t alignment)
{
    const std::lock_guard lock(m_settingsLock);
    m_settings.PosX = std::clamp(x, 0, 1000);
    m_settings.PosY = std::clamp(y, 0, 1000);
    m_settings.Alignment = alignment;
}

void SuperposerCore::SetOverlayOn(bool on)
{
    const std::lock_guard lock(m_settingsLock);
    m_settings.OverlayOn = on;
}

void SuperposerCore::SetDeinterlace(bool on)
{
    const std::lock_guard lock(m_settingsLock);
    m_settings.Deinterlace = on;
}

SuperposerSettings SuperposerCore::Settings() const
{
    const std::lock_guard lock(m_settingsLock);
    return m_settings;
}

bool SuperposerCore::StartStreaming(int width, int height)
{
    m_frameCounter.store(0);
    if (width <= 0 || height <= 0)
        return false;
    {
        const std::lock_guard lock(m_pictureLock);
        // A still asked for in the last run is made before its frame goes.
        makePendingStill();
        m_frameWidth = width;
        m_frameHeight = height;
        for (QImage &text : m_texts)
            ensureRgb24Image(text, width, height);
        m_current = 0;
        m_last = {viewOf(std::as_const(m_texts[0])), {}, nullptr};
        ensureRgb24Image(m_picture, width, height);
        m_masks.resize(width, height);
        m_lastLayout = {};
        m_overlay.Clear();
    }
    const std::lock_guard lock(m_settingsLock);
    if (m_settings.Options.AutoSize != 0) {
        m_settings.Font.Size = AutoFontSize(width);
        m_font = OverlayFont(m_settings.Font);
    }
    return true;
}

void SuperposerCore::StopStreaming()
{
    const std::lock_guard lock(m_pictureLock);
    if (m_stillFrame.hold)
        makePendingStill();
    if (!m_last.hold)
        return;
    // The working picture that no pending still is to be made from.
    if (m_stillPending &&
        m_stillFrame.picture.bits == std::as_const(m_texts[m_current]).constBits())
        m_current ^= 1;
    QImage &text = m_texts[m_current];
    const bool copied = m_last.planar.valid() ? YuvToRgb24(m_last.planar, viewOf(text))
                                              : CopyRgb24(m_last.picture, viewOf(text));
    m_last = {copied ? viewOf(std::as_const(text)) : ConstRgb24View{}, {}, nullptr};
}

bool SuperposerCore::Transform(ConstRgb24View input, Rgb24View output,
                               const std::array<QString, 2> &texts, bool showText)
{
    return process(input, output, nullptr, texts, showText);
}

bool SuperposerCore::TransformInPlace(Rgb24View picture, std::shared_ptr<const void> hold,
                                      const std::array<QString, 2> &texts, bool showText)
{
    return process(picture, picture, std::move(hold), texts, showText);
}

OverlayPlacement SuperposerCore::placementOf(const SuperposerSettings &settings) const
{
    OverlayPlacement placement;
    placement.frameWidth = m_frameWidth;
    placement.frameHeight = m_frameHeight;
    placement.posX = settings.PosX;
    placement.posY = settings.PosY;
    placement.alignment = settings.Alignment;
    placement.lineStep = OverlayLineStep(settings.Font.Size);
    placement.outline = settings.Options.Outline;
    placement.color = settings.Font.Color;
    return placement;
}

template <typename Body>
bool SuperposerCore::frame(Body body)
{
    SuperposerSettings settings;
    QFont font;
    {
        const std::lock_guard lock(m_settingsLock);
        settings = m_settings;
        font = m_font;
    }

    bool ok = false;
    bool answered = false;
    {
        const std::lock_guard lock(m_pictureLock);
        try {
            ok = body(std::as_const(settings), std::as_const(font));
        } catch (const std::exception &) {
            ok = false;
        }

        // Whatever became of the frame, a caller waiting for one is answered
        // and finds a still of the last picture taken, text included. The
        // still is made when it is first asked for (most waits ask for none).
        if (!m_frameShown.load(std::memory_order_acquire)) {
            if (!settings.Deinterlace) {
                m_stillPending = true;
                m_stillFrame = m_last;
            }
            m_frameShown.store(true, std::memory_order_release);
            answered = true;
        }
    }
    m_frameCounter.fetch_add(1);
    if (answered && m_frameShownObserver)
        m_frameShownObserver();
    return ok;
}

bool SuperposerCore::process(ConstRgb24View input, Rgb24View output,
                             std::shared_ptr<const void> hold, const std::array<QString, 2> &texts,
                             bool showText)
{
    return frame([&](const SuperposerSettings &settings, const QFont &font) {
        bool ok = false;
        const bool fits = input.valid() && output.valid() &&
                          input.sameSize(m_frameWidth, m_frameHeight) &&
                          output.sameSize(m_frameWidth, m_frameHeight);
        // Deinterlaced where it lies, this frame is the next still.
        const bool stillFollows = fits && hold && settings.Deinterlace;
        // A held frame owed to a waiting caller as its still is let go
        // before another frame comes in: the still is made from it now.
        if (fits && !stillFollows && m_stillFrame.hold &&
            m_frameShown.load(std::memory_order_acquire))
            makePendingStill();
        const bool draw = settings.OverlayOn && showText;
        const OverlayPlacement placement = placementOf(settings);
        if (fits && hold) {
            // The frame itself is kept: the text box is drawn where it
            // lies, and deinterlacing rewrites only the second field.
            m_lastLayout = {};
            if (draw)
                m_lastLayout = m_overlay.Draw(output, m_texts[m_current], texts, placement, font);
            ok = !stillFollows || Deinterlace(input, output, m_masks);
            m_last = {input, {}, std::move(hold)};
            if (stillFollows) {
                // The still is the output, made from it when first asked
                // for: deinterlacing it again leaves it as it is.
                m_stillPending = true;
                m_stillFrame = m_last;
            }
        } else if (fits) {
            // The frame a still is still to be made from is kept: this one
            // goes into the other working picture.
            if (m_stillPending &&
                m_stillFrame.picture.bits == std::as_const(m_texts[m_current]).constBits())
                m_current ^= 1;
            QImage &text = m_texts[m_current];
            if (CopyRgb24(input, viewOf(text))) {
                m_last = {viewOf(std::as_const(text)), {}, nullptr};
                m_lastLayout = {};
                if (draw)
                    m_lastLayout = m_overlay.Draw(text, texts, placement, font);
                if (settings.Deinterlace) {
                    // The deinterlaced output is the still from now on.
                    m_stillPending = false;
                    m_stillFrame = {};
                    ok = Deinterlace(viewOf(std::as_const(text)), m_picture, m_masks) &&
                         CopyRgb24(viewOf(std::as_const(m_picture)), output);
                } else {
                    ok = CopyRgb24(viewOf(std::as_const(text)), output);
                }
            }
        }
        return ok;
    });
}

bool SuperposerCore::TransformPlanarInPlace(const YuvView &picture,
                                            std::shared_ptr<const void> hold,
                                            const std::array<QString, 2> &texts, bool showText)
{
    if (Settings().Deinterlace)
        return TransformPlanar(picture, picture, texts, showText);
    return frame([&](const SuperposerSettings &settings, const QFont &font) {
        if (!picture.valid() || !picture.sameSize(m_frameWidth, m_frameHeight))
            return false;
        // As for an RGB24 frame kept where it lies: a still owed from the
        // frame before is made before that frame is let go.
        if (m_stillFrame.hold && m_frameShown.load(std::memory_order_acquire))
            makePendingStill();
        m_lastLayout = {};
        if (settings.OverlayOn && showText)
            m_lastLayout =
                m_overlay.Draw(picture, m_texts[m_current], texts, placementOf(settings), font);
        m_last = {{}, picture, std::move(hold)};
        return true;
    });
}

bool SuperposerCore::TransformPlanar(const YuvView &input, const YuvView &output,
                                     const std::array<QString, 2> &texts, bool showText)
{
    ensureRgb24Image(m_planarScratch, input.width, input.height);
    const Rgb24View scratch = viewOf(m_planarScratch);
    // A frame that cannot be converted is still counted and answers a
    // waiting caller, as any frame that fails.
    const bool converted = YuvToRgb24(input, scratch);
    const bool ok = process(converted ? ConstRgb24View(scratch) : ConstRgb24View{}, scratch,
                            nullptr, texts, showText);
    return converted && ok && Rgb24ToYuv(scratch, output);
}

OverlayLayout SuperposerCore::LastLayout() const
{
    const std::lock_guard lock(m_pictureLock);
    return m_lastLayout;
}

QImage SuperposerCore::Picture() const
{
    const std::lock_guard lock(m_pictureLock);
    makePendingStill();
    return m_picture.copy();
}

void SuperposerCore::CopyPicture(QImage &target) const
{
    const std::lock_guard lock(m_pictureLock);
    makePendingStill();
    drawPictureInto(target);
}

void SuperposerCore::CopyPictureDeinterlaced(QImage &target)
{
    const std::lock_guard lock(m_pictureLock);
    const ConstRgb24View last = rgbOf(m_last);
    if (last.valid()) {
        Deinterlace2(last, m_picture);
        m_stillPending = false;
        m_stillFrame = {};
    }
    drawPictureInto(target);
}

void SuperposerCore::makePendingStill() const
{
    if (!m_stillPending)
        return;
    m_stillPending = false;
    const ConstRgb24View still = rgbOf(m_stillFrame);
    if (still.valid())
        Deinterlace2(still, m_picture);
    m_stillFrame = {};
}

ConstRgb24View SuperposerCore::rgbOf(const Frame &frame) const
{
    if (!frame.planar.valid())
        return frame.picture;
    ensureRgb24Image(m_planarPicture, frame.planar.width, frame.planar.height);
    if (!YuvToRgb24(frame.planar, viewOf(m_planarPicture)))
        return {};
    return viewOf(std::as_const(m_planarPicture));
}

void SuperposerCore::drawPictureInto(QImage &target) const
{
    if (target.isNull() || m_picture.isNull())
        return;
    QPainter painter(&target);
    painter.drawImage(target.rect(), m_picture);
}

} // namespace vidora
