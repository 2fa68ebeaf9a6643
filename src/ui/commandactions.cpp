#include "ui/commandactions.h"

#include "commands/dialogvalues.h"
#include "commands/dmaction.h"
#include "files/cdmgraphrun.h"
#include "files/commandengine.h"
#include "files/enginelist.h"
#include "files/widgets/enginequestionbox.h"
#include "files/widgets/fichierlistbox.h"
#include "formats/datetime.h"
#include "formats/widgets/riffform.h"
#include "platform/gui_thread.h"
#include "settings/widgets/optionsframe.h"
#include "ui/actioncatalogue.h"
#include "ui/actionstates.h"
#include "ui/ubaseframe.h"
#include "ui/uiform.h"
#include "ui/uvideframe.h"
#include "ui/uvueframe.h"
#include "ui/valueforms.h"
#include "video/filters/dv_superposer.h"
#include "video/graphs/convertirdvunit.h"
#include "video/graphs/viewgraph.h"

#include <QAbstractButton>
#include <QApplication>
#include <QButtonGroup>
#include <QDateTime>
#include <QEvent>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QProgressBar>
#include <QStatusBar>

#include <chrono>
#include <functional>
#include <stdexcept>
#include <utility>

namespace vidora {

namespace {

// Runs `onEvent` for the events of the objects it is installed on.
class EventHook : public QObject
{
public:
    explicit EventHook(std::function<void(QObject *, QEvent *)> onEvent)
        : m_onEvent(std::move(onEvent))
    {}

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        m_onEvent(watched, event);
        return false;
    }

private:
    std::function<void(QObject *, QEvent *)> m_onEvent;
};

// A sub-menu or a top-level menu shows when one of its entries that is not a
// separator shows; sub-menus are settled first.
bool UpdateMenuVisibility(QMenu *menu)
{
    bool any = false;
    for (QAction *entry : menu->actions()) {
        if (QMenu *sub = entry->menu())
            entry->setVisible(UpdateMenuVisibility(sub));
        if (entry->isVisible() && !entry->isSeparator())
            any = true;
    }
    return any;
}

// The dialog kept in `slot`, made on first use; its parent owns it.
template <typename Dialog>
Dialog &MadeOnce(Dialog *&slot, QWidget *parent)
{
    if (slot == nullptr)
        slot = new Dialog(parent);
    return *slot;
}

// The files the list's opening takes.
bool IsVideoFileName(const QString &fileName)
{
    return fileName.toLower().endsWith(QLatin1String(".avi"));
}

// The preview as the command module sees it: the file it holds, let go of
// before a command changes or deletes it.
class CommandPreview final : public IActionPreview
{
public:
    CommandPreview(Tviewdm &viewdm, TVueFrame &view) : m_viewdm(viewdm), m_view(view) {}

    QString LoadedFile() const override
    {
        return m_viewdm.GraphClosed() ? QString() : m_viewdm.Entry().FileName;
    }
    void CloseGraph() override
    {
        m_viewdm.CloseGraph();
        m_view.ShowVideoUnavailable(videomessage::TakenByCommand);
    }

private:
    Tviewdm &m_viewdm;
    TVueFrame &m_view;
};

// The engine's questions, counted while they are open: closing the window
// during one cannot wait for the worker that asks it.
class CountedQuestions final : public IEngineQuestions
{
public:
    explicit CountedQuestions(QWidget *parent) : m_box(parent) {}

    TModalResult Confirm(const QString &text, bool toAllButtons) override
    {
        ++open;
        const TModalResult answer = m_box.Confirm(text, toAllButtons);
        --open;
        return answer;
    }

    int open = 0;

private:
    EngineQuestionBox m_box;
};

} // namespace

struct CommandActions::Parts
{
    Parts(TUIForm &form, Settings &settings, Tviewdm &viewdm, TFichierListModel &model)
        : dmAction(settings, cdm), list(model), preview(viewdm, *form.VueFrame), questions(&form)
    {}

    TCdm cdm;
    TdmAction dmAction;
    TEngineFichierList list;
    CommandPreview preview;
    CountedQuestions questions;
    // The command of each "cc" action, found once.
    QHash<const QAction *, tAbstractCmd *> commands;
    // The date offset of the file being processed, from its start to its end.
    std::shared_ptr<TaviFichier> offsetEntry;
    double savedOffset = 0;
    // The running command was started by a script or the command line.
    bool fromScript = false;
    // The window is closing: no box is shown any more.
    bool closing = false;
    // Error boxes open (modal ones hold the worker).
    int openErrorBoxes = 0;
    // The value dialogs, made on first use; the window owns them.
    TCodecForm *codecForm = nullptr;
    TFrequenceForm *frequenceForm = nullptr;
    TIntervalleForm *intervalleForm = nullptr;
    TDecalageForm *decalageForm = nullptr;
    bool codecPreset = false;
    bool frequencePreset = false;
    // The About panel, reached as a widget: its header and the command
    // module's both define the program's addresses.
    QWidget *aboutPanel = nullptr;
    // Watch the panels and the file name; owned here, so they stop before
    // the window's parts go.
    std::unique_ptr<EventHook> panelHook;
    std::unique_ptr<EventHook> nameHook;
    // The AVI analyser the analyse command shows, made on first use.
    std::unique_ptr<TRiffForm> riffForm;
    // Declared last: it ends its worker before the rest goes.
    TCommandEngine ce;
};

CommandActions::CommandActions(TUIForm &form, Settings &settings, Tviewdm &viewdm)
    : m_form(form), m_settings(settings), m_viewdm(viewdm)
{
    m_parts = std::make_unique<Parts>(form, settings, viewdm, *form.Lframe->lf->ListModel());
    Bind();
}

CommandActions::~CommandActions()
{
    // The window is going: a worker still running reaches none of its
    // handlers, and is aborted and waited for before the modules it uses go.
    Parts &parts = *m_parts;
    TCommandEngine &ce = parts.ce;
    ce.OnStartCommand = nullptr;
    ce.OnEndCommand = nullptr;
    ce.OnStartFichier = nullptr;
    ce.OnEndFichier = nullptr;
    ce.OnMessageCommand = nullptr;
    ce.OnErrorCommand = nullptr;
    ce.OnStartProgress = nullptr;
    ce.OnSetProgress = nullptr;
    ce.OnEndProgress = nullptr;
    ce.Questions = nullptr;
    parts.list.OnSetEnabled = nullptr;
    ce.AbortAll();
    while (ce.IsRunning())
        runQueuedGuiCalls(std::chrono::milliseconds(10));
    // A graph notice still queued finds no engine to wake.
    parts.cdm.OnGraphComplete = nullptr;
    parts.cdm.OnGraphError = nullptr;
}

TdmAction &CommandActions::Module() const
{
    return m_parts->dmAction;
}

TCommandEngine &CommandActions::Engine() const
{
    return m_parts->ce;
}

tAbstractCmd *CommandActions::CommandOf(const QAction *action) const
{
    if (action == nullptr)
        return nullptr;
    return m_parts->commands.value(action);
}

void CommandActions::Bind()
{
    TUIForm &form = m_form;
    const TActionList &actions = form.al();
    TFichierListModel *model = form.Lframe->lf->ListModel();
    Parts &parts = *m_parts;

    ConnectCdmToEngine(parts.cdm, parts.ce);
    parts.cdm.SetSettings(&m_settings);
    parts.dmAction.Preview = &parts.preview;
    parts.dmAction.OnShowRiffAnalysis = [&parts](const QString &path) {
        if (!parts.riffForm)
            parts.riffForm = std::make_unique<TRiffForm>();
        parts.riffForm->ShowRiffAnalysis(path);
    };
    // Scene commands take their dates and thumbnails from the preview (and
    // from the files it does not show).
    parts.dmAction.ScenePreview = form.ScenePreview();
    parts.dmAction.VersionText = VersionNumberText();
    parts.dmAction.AppVersionText = kProgramName + u' ' + VersionNumberText();
    parts.list.OnSetEnabled = [&form](bool enabled) { form.Lframe->lf->setEnabled(enabled); };

    TCommandEngine &engine = parts.ce;
    engine.SourceFichierListbox = &parts.list;
    engine.DestFichierListbox = &parts.list;
    engine.Questions = &parts.questions;
    engine.OnStartCommand = [this] { StartCommand(); };
    engine.OnEndCommand = [this] { EndCommand(); };
    engine.OnStartFichier = [this](const EngineEntryPtr &entry, const QStringList &, int) {
        StartFile(std::dynamic_pointer_cast<TaviFichier>(entry));
    };
    engine.OnEndFichier = [this](const EngineEntryPtr &entry, const QStringList &, int) {
        EndFile(std::dynamic_pointer_cast<TaviFichier>(entry));
    };
    engine.OnMessageCommand = [this](const QString &text) { ShowMessage(text); };
    engine.OnErrorCommand = [this](const QString &text, TErrorType type) { ShowError(text, type); };
    engine.OnStartProgress = [this](int maximum) { StartProgress(maximum); };
    engine.OnSetProgress = [this](int position) { SetProgress(position); };
    engine.OnEndProgress = [this] { EndProgress(); };

    // Every action whose catalogue row names a command hands it to the
    // engine; a name the action module does not know stops the start.
    for (const TActionRow &row : ActionCatalogue()) {
        if (*row.command == '\0')
            continue;
        const QString name = QString::fromUtf8(row.name);
        tAbstractCmd *command = parts.dmAction.FindCommand(QString::fromUtf8(row.command));
        if (command == nullptr)
            throw std::logic_error(name.toStdString() + " names no command: " + row.command);
        TSuperAction *plain = actions.Plain(name);
        parts.commands.insert(plain, command);
        // The command's row says whether the action hands it a value and
        // which dialog asks for it first.
        const TCommandRow &commandRow = *parts.dmAction.RowOf(*command);
        const bool withValue = commandRow.takesValue;
        plain->Onexecute = [this, command, withValue](QObject *sender) {
            RunCommand(*command, sender, withValue);
        };
        const TCmdPreparation preparation = commandRow.preparation;
        if (preparation != TCmdPreparation::None)
            plain->Onprepare = [this, preparation](QObject *) { Prepare(preparation); };
        if (preparation == TCmdPreparation::Interval)
            plain->ValueProblem = [](const QString &value) {
                return IntervalFromText(value)
                           ? QString()
                           : QStringLiteral("a whole number of seconds above 0 is needed");
            };
    }

    actions.Plain(QStringLiteral("saInterrompre"))->Onexecute = [this](QObject *) {
        AbortCurrent();
    };
    actions.Plain(QStringLiteral("saInterrompreTous"))->Onexecute = [this](QObject *) {
        AbortAll();
    };

    // The list's opening.
    model->SetOpenTestExtension(&IsVideoFileName);
    connect(model, &TFichierListModel::openStart, this, [] { ScriptWaiting = true; });
    connect(model, &TFichierListModel::openFolderFound, this, [&form](const QString &folder) {
        form.SetStatusText(QStringLiteral("Analysing ") + folder);
    });
    connect(model, &TFichierListModel::openEnd, this, [this](int) { OpenEnd(); });

    // The action states follow the list, the active entry and the panels
    // that cover the list, whoever shows or hides them.
    connect(model, &TFichierListModel::countsChanged, this, [this] { UpdateActionStates(); });
    connect(model, &TFichierListModel::activeChanged, this, [this] { UpdateActionStates(); });
    parts.panelHook = std::make_unique<EventHook>([this](QObject *, QEvent *event) {
        if (event->type() == QEvent::Show || event->type() == QEvent::Hide)
            UpdateActionStates();
    });
    EventHook *panels = parts.panelHook.get();
    parts.aboutPanel = form.findChild<QWidget *>(QStringLiteral("AproposFrame"));
    for (QWidget *panel :
         {static_cast<QWidget *>(form.VideFrame), parts.aboutPanel,
          static_cast<QWidget *>(form.OptionsFrame), static_cast<QWidget *>(&form)})
        panel->installEventFilter(panels);

    // A click on the file's name shows it in the file manager.
    parts.nameHook = std::make_unique<EventHook>([&actions](QObject *, QEvent *event) {
        if (event->type() == QEvent::MouseButtonRelease)
            actions.Find(QStringLiteral("ccDossierParent"))->Execute();
    });
    form.BaseFrame->LabNom->installEventFilter(parts.nameHook.get());
}

void CommandActions::RunCommand(tAbstractCmd &command, QObject *sender, bool withValue)
{
    Parts &parts = *m_parts;
    if (parts.ce.IsRunning())
        return; // one command at a time
    parts.fromScript = qobject_cast<TCustomScript *>(sender) != nullptr;
    parts.dmAction.Unattended = parts.fromScript;
    TaviReading reading;
    reading.datecodeFormat = m_settings.FormatShowDatecode;
    parts.ce.SetFichierClass(TaviEntryFactory(reading));
    const QStringList params = ActionParams;
    parts.ce.Execute(command, withValue ? &params : nullptr);
}

void CommandActions::UpdateActionStates()
{
    TUIForm &form = m_form;
    Parts &parts = *m_parts;
    const TPanelsShown panels{!form.VideFrame->isHidden(), !parts.aboutPanel->isHidden(),
                              !form.OptionsFrame->isHidden()};
    TFichierListModel *model = form.Lframe->lf->ListModel();
    TActionEntries entries;
    entries.active = form.ActiveFichier;
    for (const auto &entry : model->SelectedEntries())
        entries.selected.push_back(entry);
    for (int row = 0; row < model->Count(); ++row)
        entries.all.push_back(model->GetFichier(row));

    for (QAction *action : form.al().Actions()) {
        if (KeepsOwnState(action->objectName()))
            continue;
        const auto *super = static_cast<const TCustomSuperAction *>(action);
        const TActionState state = ActionStateFor(super->Category, panels,
                                                  parts.commands.value(action), parts.ce, entries);
        action->setVisible(state.visible);
        action->setEnabled(state.enabled);
    }
    for (QAction *top : form.menuBar()->actions())
        if (QMenu *menu = top->menu())
            top->setVisible(UpdateMenuVisibility(menu));

    if (form.ActiveFichier) {
        QAction *scenes = form.al().Find(QStringLiteral("taEditerScenes"));
        scenes->setEnabled(scenes->isEnabled() &&
                           form.ActiveFichier->Data().pictureText != kNotAvailable);
    }
    if (form.isVisible() && form.Lframe->isVisible())
        form.Lframe->lf->setFocus();
}

// ------------------------------------------------------------------ engine events

void CommandActions::StartCommand()
{
    ScriptWaiting = true;
}

void CommandActions::EndCommand()
{
    m_form.SetCommandMessage(QString());
    m_form.Lframe->lf->ListModel()->RefreshActive();
    ScriptWaiting = false;
}

void CommandActions::StartFile(const std::shared_ptr<TaviFichier> &entry)
{
    Parts &parts = *m_parts;
    parts.offsetEntry = entry;
    parts.savedOffset = entry ? entry->TimeOffset() : 0;
}

void CommandActions::EndFile(const std::shared_ptr<TaviFichier> &entry)
{
    Parts &parts = *m_parts;
    if (!entry)
        return;
    // An entry read again from its file keeps the offset it had; a command
    // that gave the entry itself an offset (the time difference) keeps that.
    double offset = entry == parts.offsetEntry ? entry->TimeOffset() : parts.savedOffset;
    const QString text = FormatOffsetText(offset);
    entry->SetTimeOffset(offset, text);
}

void CommandActions::ShowMessage(const QString &text)
{
    m_form.CommandMessage = text;
    m_form.StatusPanel->setText(text);
    m_form.SetStatusColour(kCommandColour);
    m_form.statusBar()->repaint();
}

void CommandActions::ShowError(const QString &text, TErrorType type)
{
    Parts &parts = *m_parts;
    if (parts.closing)
        return;
    auto *box = new QMessageBox(QMessageBox::Critical, kProgramName, ErrorBoxText(text, type),
                                QMessageBox::Ok, &m_form);
    box->setObjectName(QStringLiteral("CommandErrorBox"));
    box->setAttribute(Qt::WA_DeleteOnClose);
    if (parts.fromScript) {
        // Nobody may be there to answer: the box stays up while the script
        // goes on.
        box->setModal(false);
        box->show();
        return;
    }
    ++parts.openErrorBoxes;
    box->exec();
    --parts.openErrorBoxes;
}

void CommandActions::StartProgress(int maximum)
{
    m_form.BaseFrame->Gauge1->setMaximum(maximum);
    m_form.BaseFrame->Gauge1->setValue(0);
    m_form.BaseFrame->Gauge1->show();
}

void CommandActions::SetProgress(int position)
{
    m_form.BaseFrame->Gauge1->setValue(position);
}

void CommandActions::EndProgress()
{
    m_form.BaseFrame->Gauge1->hide();
}

// ------------------------------------------------------------------ opening events

void CommandActions::OpenEnd()
{
    m_form.StatusMessage.clear();
    // The end of an earlier opening (the list kept from the last session,
    // say) does not end the wait for one that is still to come.
    if (m_form.CommandMessage.isEmpty() && !m_form.Lframe->lf->ListModel()->Opening()) {
        m_form.SetIdle();
        ScriptWaiting = false;
    }
}

// ------------------------------------------------------------------ preparations

void CommandActions::Prepare(TCmdPreparation preparation)
{
    // The codec, frame-rate and time-offset dialogs start from the active
    // file: without one the command does not run.
    const std::shared_ptr<TaviFichier> active = m_form.ActiveFichier;
    const bool fromFile = preparation == TCmdPreparation::Codec ||
                          preparation == TCmdPreparation::FrameRate ||
                          preparation == TCmdPreparation::TimeOffset;
    if (fromFile && !active) {
        ExecuteAllowed = false;
        return;
    }
    switch (preparation) {
    case TCmdPreparation::None:
        return;
    case TCmdPreparation::Codec:
        PrepareCodec(*active);
        return;
    case TCmdPreparation::FrameRate:
        PrepareFrameRate(*active);
        return;
    case TCmdPreparation::TimeOffset:
        PrepareTimeOffset(*active);
        return;
    case TCmdPreparation::Interval:
        PrepareInterval();
        return;
    }
}

void CommandActions::PrepareCodec(const TaviFichier &active)
{
    Parts &parts = *m_parts;
    TCodecForm &dialog = MadeOnce(parts.codecForm, &m_form);
    if (!std::exchange(parts.codecPreset, true)) {
        dialog.le->setEnabled(false);
        dialog.SetCodec(active.Data().codec);
    }
    dialog.exec();
    ExecuteAllowed = dialog.CodecAccepted;
    if (ExecuteAllowed)
        ActionParams.append(dialog.NewFourCC);
}

void CommandActions::PrepareFrameRate(const TaviFichier &active)
{
    Parts &parts = *m_parts;
    TFrequenceForm &dialog = MadeOnce(parts.frequenceForm, &m_form);
    if (!std::exchange(parts.frequencePreset, true)) {
        dialog.le->setEnabled(false);
        const TFrequencePreset preset = FrequencePresetFor(active.Data().frameRate);
        dialog.rgFreq->button(int(preset.choice))->setChecked(true);
        if (preset.choice == TFrequenceChoice::Personalized) {
            dialog.le->setEnabled(true);
            if (dialog.le->text().isEmpty())
                dialog.le->setText(preset.personalized);
        }
    }
    dialog.exec();
    ExecuteAllowed = dialog.FrameRateAccepted;
    if (ExecuteAllowed)
        ActionParams.append(DecimalText(dialog.NewFrameRate));
}

void CommandActions::PrepareTimeOffset(const TaviFichier &active)
{
    TDecalageForm &dialog = MadeOnce(m_parts->decalageForm, &m_form);
    dialog.OnPreviewOffset = [this](double offset) {
        m_viewdm.Superposer().SetDateOffset(offset);
        m_viewdm.Refresh();
    };
    const DateTimeValue recorded = active.Data().recDateTime;
    dialog.RecordedDate = recorded > 0 ? recorded : FromQDateTime(QDateTime::currentDateTime());
    dialog.NewDate = dialog.RecordedDate + active.TimeOffset();
    dialog.StoredOffset = m_settings.TimeOffset;
    dialog.exec();
    ExecuteAllowed = dialog.Accepted;
    if (ExecuteAllowed)
        ActionParams.append(DecimalText(dialog.Offset));
}

void CommandActions::PrepareInterval()
{
    TIntervalleForm &dialog = MadeOnce(m_parts->intervalleForm, &m_form);
    dialog.Edit->setText(QString::number(m_settings.Interval));
    dialog.IntervalAccepted = false;
    dialog.exec();
    ExecuteAllowed = dialog.IntervalAccepted;
    if (ExecuteAllowed) {
        m_settings.Interval = dialog.SceneInterval;
        ActionParams.append(QString::number(m_settings.Interval));
    }
}

// ------------------------------------------------------------------ aborting

void CommandActions::AbortCurrent()
{
    TUIForm &form = m_form;
    TtoggleAction *fullscreen = form.al().Toggle(QStringLiteral("taFullscreen"));
    if (fullscreen->Checked()) {
        if (const TActionEvent leave = fullscreen->CommandEvent())
            leave(fullscreen);
        return;
    }
    m_viewdm.EndFrameWait();
    form.script1->Stop();
    form.Switch1->Stop();
    m_parts->ce.AbortCurrent();
    form.Lframe->lf->ListModel()->AbortOpen();
}

void CommandActions::AbortAll()
{
    TUIForm &form = m_form;
    form.script1->Stop();
    form.Switch1->Stop();
    m_viewdm.EndFrameWait();
    form.Lframe->lf->ListModel()->AbortOpen();
    m_parts->ce.AbortAll();
    ScriptWaiting = false;
}

void CommandActions::EndForClose()
{
    Parts &parts = *m_parts;
    parts.closing = true;
    parts.ce.AbortAll();
    // A question or error box of the command is open further down this
    // thread's stack: it is closed, and the worker, which waits for its
    // answer, is waited for when the window goes.
    if (parts.questions.open > 0 || parts.openErrorBoxes > 0) {
        if (QWidget *modal = QApplication::activeModalWidget())
            modal->close();
        return;
    }
    while (parts.ce.IsRunning())
        runQueuedGuiCalls(std::chrono::milliseconds(10));
}

} // namespace vidora
