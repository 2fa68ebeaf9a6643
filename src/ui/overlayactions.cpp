#include "ui/overlayactions.h"

#include "settings/settings.h"
#include "settings/widgets/optionsframe.h"
#include "ui/actioncatalogue.h"
#include "ui/editorkeys.h"
#include "ui/eventhook.h"
#include "ui/ueditincrust.h"
#include "ui/uvueframe.h"
#include "video/filters/dv_superposer.h"
#include "video/filters/overlaylayout.h"
#include "video/graphs/viewgraph.h"

#include <QCheckBox>
#include <QLabel>
#include <QMouseEvent>
#include <QSlider>

#include <algorithm>

namespace vidora {

OverlayActions::OverlayActions(TActionList &actions, Tviewdm &viewdm, SettingValues &settings,
                               TVueFrame &view, TOptionsFrame &options, EditorKeys &keys,
                               Hooks hooks)
    : m_al(actions), m_viewdm(viewdm), m_settings(settings), m_view(view), m_keys(keys),
      m_hooks(std::move(hooks))
{
    BindOverlayActions();
    BindSliders();
    BindVideoDrag();
    BindDeinterlace(options);
}

void OverlayActions::BindOverlayActions()
{
    TtoggleAction *overlay = m_al.Toggle(QStringLiteral("taAfficherIncrustation"));
    overlay->Onprepare = [this, overlay](QObject *) {
        overlay->SetChecked(m_settings.IsIncrustOn);
    };
    overlay->OnfalseExecute = [this](QObject *) { ShowOverlay(true); };
    overlay->OnTrueExecute = [this](QObject *) { ShowOverlay(false); };

    TtoggleAction *editOverlay = m_al.Toggle(QStringLiteral("taEditerIncrust"));
    editOverlay->Onprepare = [this, editOverlay](QObject *) {
        editOverlay->SetChecked(m_settings.IncrustSlidersVisible);
    };
    editOverlay->OnfalseExecute = [this, editOverlay, overlay](QObject *) {
        m_settings.IncrustSlidersVisible = true;
        m_view.labTimeStamp->hide();
        m_keys.SetOverlayEditorOpen(true);
        m_viewdm.Superposer().SetDisplayMode(0);
        if (!m_settings.IsIncrustOn)
            overlay->Execute();
        m_view.incrustVert->show();
        m_view.incrustHorz->show();
        m_viewdm.SetCompleteBound(true);
        if (TEditIncrustForm *editor = m_hooks.editor()) {
            editor->OnShowOverlay = [overlay] { overlay->Execute(); };
            editor->OnToggleEditor = [editOverlay] { editOverlay->Execute(); };
            editor->OnHorizontalSlider = [this](int perMille) {
                m_settings.IncrustPositionX = perMille;
                const QSignalBlocker quiet(m_view.incrustHorz);
                m_view.incrustHorz->setValue(perMille);
                PassPosition();
            };
            // Filled from the settings, then the samples and the picture's
            // text made from what the form now shows.
            editor->FillFromSettings();
            editor->SetCurrentFile(m_hooks.activeFile());
            editor->show();
            editor->raise();
        }
        editOverlay->SetChecked(true);
    };
    editOverlay->OnTrueExecute = [this, editOverlay](QObject *) {
        m_settings.IncrustSlidersVisible = false;
        m_viewdm.SetCompleteBound(false);
        m_viewdm.Superposer().SetDisplayMode(m_settings.Incrust.When);
        m_view.incrustVert->hide();
        m_view.incrustHorz->hide();
        m_view.labTimeStamp->show();
        m_keys.SetOverlayEditorOpen(false);
        if (TEditIncrustForm *editor = m_hooks.editor())
            editor->hide();
        editOverlay->SetChecked(false);
    };
    m_view.incrustHorz->hide();
    m_view.incrustVert->hide();
    new EventHook(m_view.Shape1, [editOverlay](QEvent *event) {
        if (event->type() == QEvent::MouseButtonPress)
            editOverlay->Execute();
        return false;
    });
}

void OverlayActions::BindSliders()
{
    // Only what the user does moves the text: the settings and the editor
    // set the sliders from code without these.
    for (QSlider *slider : {m_view.incrustHorz, m_view.incrustVert}) {
        const bool horizontal = slider == m_view.incrustHorz;
        QObject::connect(
            slider, &QAbstractSlider::actionTriggered, &m_view,
            [this, slider, horizontal](int) { SliderMoved(horizontal, slider->sliderPosition()); });
        QObject::connect(slider, &QAbstractSlider::sliderPressed, &m_view, [this] {
            if (m_viewdm.GraphReady() && !m_viewdm.Playing()) {
                m_viewdm.Silence();
                m_sliderPlaying = m_viewdm.Run();
            }
        });
        QObject::connect(slider, &QAbstractSlider::sliderReleased, &m_view, [this] {
            m_viewdm.ApplyVolume();
            if (m_sliderPlaying)
                m_viewdm.Pause();
            m_sliderPlaying = false;
        });
    }
}

void OverlayActions::BindVideoDrag()
{
    // The video: with the sliders shown, pressing and dragging places the
    // text.
    new EventHook(m_view.vw, [this](QEvent *event) {
        switch (event->type()) {
        case QEvent::MouseButtonPress:
        case QEvent::MouseMove:
        case QEvent::MouseButtonRelease:
            Mouse(event);
            break;
        default:
            break;
        }
        return false;
    });
}

void OverlayActions::BindDeinterlace(TOptionsFrame &options)
{
    TtoggleAction *deinterlace = m_al.Toggle(QStringLiteral("taDeinterlace"));
    auto setDeinterlace = [this, deinterlace](bool on) {
        m_settings.Deinterlace = on;
        m_viewdm.Superposer().SetDeinterlace(on);
        deinterlace->SetChecked(on);
    };
    deinterlace->Onprepare = [this, deinterlace](QObject *) {
        deinterlace->SetChecked(m_settings.Deinterlace);
    };
    deinterlace->OnfalseExecute = [setDeinterlace](QObject *) { setDeinterlace(true); };
    deinterlace->OnTrueExecute = [setDeinterlace](QObject *) { setDeinterlace(false); };
    // After the panel's own handler, which writes the setting.
    QObject::connect(options.cbDeinterlace, &QCheckBox::toggled, &m_view, [this, deinterlace] {
        m_viewdm.Superposer().SetDeinterlace(m_settings.Deinterlace);
        deinterlace->SetChecked(m_settings.Deinterlace);
    });
}

void OverlayActions::PassPosition()
{
    m_viewdm.Superposer().SetPosition(m_settings.IncrustPositionX, m_settings.IncrustPositionY,
                                      m_settings.IncrustAlignment);
    // A paused picture shows the text at its new place.
    if (m_viewdm.GraphReady())
        m_viewdm.Refresh();
}
void OverlayActions::ShowOverlay(bool on)
{
    TtoggleAction *action = m_al.Toggle(QStringLiteral("taAfficherIncrustation"));
    Tdv_Superposer &overlay = m_viewdm.Superposer();
    if (on) {
        if (m_hooks.activeFile()) {
            overlay.SetOptions(m_settings.Incrust);
            overlay.SetPosition(m_settings.IncrustPositionX, m_settings.IncrustPositionY,
                                m_settings.IncrustAlignment);
            // The editor shows the text on every frame.
            if (m_keys.OverlayEditorOpen())
                overlay.SetDisplayMode(0);
            overlay.SetOverlayOn(true);
        }
        m_settings.IsIncrustOn = true;
    } else {
        overlay.SetOverlayOn(false);
        m_settings.IsIncrustOn = false;
    }
    // Refresh redraws the picture unless the preview plays.
    if (m_viewdm.GraphReady())
        m_viewdm.Refresh();
    action->SetChecked(on);
}
void OverlayActions::ApplyPreferences()
{
    Tdv_Superposer &overlay = m_viewdm.Superposer();
    overlay.SetPosition(m_settings.IncrustPositionX, m_settings.IncrustPositionY,
                        m_settings.IncrustAlignment);
    overlay.SetOptions(m_settings.Incrust);
    overlay.SetDeinterlace(m_settings.Deinterlace);
    m_al.Toggle(QStringLiteral("taDeinterlace"))->SetChecked(m_settings.Deinterlace);
    ShowOverlay(m_settings.IsIncrustOn);
    m_settings.IncrustSlidersVisible = false;
}
void OverlayActions::SliderMoved(bool horizontal, int value)
{
    if (horizontal) {
        m_settings.IncrustPositionX = value;
        // The subtitle alignment is centred text at a height of its own; a
        // text moved sideways is centred text.
        if (m_settings.IncrustAlignment == 3)
            m_settings.IncrustAlignment = 1;
    } else {
        m_settings.IncrustPositionY = OverlayFromBottom(value);
    }
    PassPosition();
}
void OverlayActions::Mouse(QEvent *event)
{
    if (!m_settings.IncrustSlidersVisible || !m_viewdm.GraphReady())
        return;
    const QEvent::Type type = event->type();
    if (type == QEvent::MouseButtonRelease) {
        if (!m_dragging)
            return;
        m_dragging = false;
        if (m_dragState == int(media::FilterState::Paused))
            m_viewdm.Pause();
        else if (m_dragState == int(media::FilterState::Stopped))
            m_viewdm.Stop();
        return;
    }
    if (type == QEvent::MouseMove && !m_dragging)
        return;
    const auto *mouse = static_cast<QMouseEvent *>(event);
    const QWidget *video = m_view.vw;
    if (video->width() <= 0 || video->height() <= 0)
        return;
    const QPoint at = mouse->position().toPoint();
    m_settings.IncrustPositionX = OverlayPerMille(at.x(), video->width());
    m_settings.IncrustPositionY = OverlayPerMille(at.y(), video->height());
    {
        const QSignalBlocker quietH(m_view.incrustHorz);
        const QSignalBlocker quietV(m_view.incrustVert);
        m_view.incrustHorz->setValue(m_settings.IncrustPositionX);
        m_view.incrustVert->setValue(OverlayFromBottom(m_settings.IncrustPositionY));
    }
    m_viewdm.Superposer().SetPosition(m_settings.IncrustPositionX, m_settings.IncrustPositionY,
                                      m_settings.IncrustAlignment);
    if (type == QEvent::MouseButtonPress) {
        m_dragging = true;
        m_dragState = int(m_viewdm.State());
        m_viewdm.Run();
    }
}

} // namespace vidora
