// The main window's file commands: each action whose catalogue row names a
// command hands that command of the action module to the command engine,
// with the value its preparation asked for; the engine's events drive the
// status bar, the progress gauge and the error box; the action states follow
// the panels and the list; the abort actions end the opening, the command
// and the running script.
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
#include <QHash>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QProgressBar>
#include <QStatusBar>

#include <chrono>
#include <stdexcept>

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

} // namespace

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

struct TUIForm::CommandParts
{
    CommandParts(TUIForm &form, Settings &settings, Tviewdm &viewdm, TFichierListModel &model)
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

void TUIForm::CommandPartsDeleter::operator()(CommandParts *parts) const
{
    // The window is going: a worker still running reaches none of its
    // handlers, and is aborted and waited for before the modules it uses go.
    TCommandEngine &ce = parts->ce;
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
    parts->list.OnSetEnabled = nullptr;
    ce.AbortAll();
    while (ce.IsRunning())
        runQueuedGuiCalls(std::chrono::milliseconds(10));
    // A graph notice still queued finds no engine to wake.
    parts->cdm.OnGraphComplete = nullptr;
    parts->cdm.OnGraphError = nullptr;
    std::default_delete<CommandParts>()(parts);
}

TdmAction &TUIForm::dmAction() const
{
    return m_commands->dmAction;
}

TCommandEngine &TUIForm::ce() const
{
    return m_commands->ce;
}

tAbstractCmd *TUIForm::FindActionCommand(const QAction *action) const
{
    if (action == nullptr || !m_commands)
        return nullptr;
    return m_commands->commands.value(action);
}

void TUIForm::BindCommandActions()
{
    TFichierListModel *model = Lframe->lf->ListModel();
    m_commands.reset(new CommandParts(*this, m_settings, m_viewdm, *model));
    CommandParts &parts = *m_commands;

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
    parts.dmAction.ScenePreview = ScenePreview();
    parts.dmAction.VersionText = VersionNumberText();
    parts.dmAction.AppVersionText = kProgramName + u' ' + VersionNumberText();
    parts.list.OnSetEnabled = [this](bool enabled) { Lframe->lf->setEnabled(enabled); };

    TCommandEngine &engine = parts.ce;
    engine.SourceFichierListbox = &parts.list;
    engine.DestFichierListbox = &parts.list;
    engine.Questions = &parts.questions;
    engine.OnStartCommand = [this] { ceStartCommand(); };
    engine.OnEndCommand = [this] { ceCommandEnd(); };
    engine.OnStartFichier = [this](const EngineEntryPtr &entry, const QStringList &, int) {
        ceStartFichier(std::dynamic_pointer_cast<TaviFichier>(entry));
    };
    engine.OnEndFichier = [this](const EngineEntryPtr &entry, const QStringList &, int) {
        ceEndFichier(std::dynamic_pointer_cast<TaviFichier>(entry));
    };
    engine.OnMessageCommand = [this](const QString &text) { ceMessageCommand(text); };
    engine.OnErrorCommand = [this](const QString &text, TErrorType type) {
        ceErrorCommand(text, type);
    };
    engine.OnStartProgress = [this](int maximum) { ceStartProgress(maximum); };
    engine.OnSetProgress = [this](int position) { ceSetProgress(position); };
    engine.OnEndProgress = [this] { ceEndProgress(); };

    // Every action whose catalogue row names a command hands it to the
    // engine; a name the action module does not know stops the start.
    for (const TActionRow &row : ActionCatalogue()) {
        if (*row.command == '\0')
            continue;
        const QString name = QString::fromUtf8(row.name);
        tAbstractCmd *command = parts.dmAction.FindCommand(QString::fromUtf8(row.command));
        if (command == nullptr)
            throw std::logic_error(name.toStdString() + " names no command: " + row.command);
        TSuperAction *plain = m_al->Plain(name);
        parts.commands.insert(plain, command);
        // The command's row says whether the action hands it a value and
        // which dialog asks for it first.
        const TCommandRow &commandRow = *parts.dmAction.RowOf(*command);
        const bool withValue = commandRow.takesValue;
        plain->Onexecute = [this, command, withValue](QObject *sender) {
            RunCommandAction(*command, sender, withValue);
        };
        void (TUIForm::*preparation)() = nullptr;
        switch (commandRow.preparation) {
        case TCmdPreparation::None:
            break;
        case TCmdPreparation::Codec:
            preparation = &TUIForm::ccModifierCodecprepare;
            break;
        case TCmdPreparation::FrameRate:
            preparation = &TUIForm::ccFrequenceVideoprepare;
            break;
        case TCmdPreparation::TimeOffset:
            preparation = &TUIForm::ccDecalerHoraireprepare;
            break;
        case TCmdPreparation::Interval:
            preparation = &TUIForm::ccCreerScnByIntervalleprepare;
            plain->ValueProblem = [](const QString &value) {
                return IntervalFromText(value)
                           ? QString()
                           : QStringLiteral("a whole number of seconds above 0 is needed");
            };
            break;
        }
        if (preparation != nullptr)
            plain->Onprepare = [this, preparation](QObject *) { (this->*preparation)(); };
    }

    m_al->Plain(QStringLiteral("saInterrompre"))->Onexecute = [this](QObject *) {
        acAbortExecute();
    };
    m_al->Plain(QStringLiteral("saInterrompreTous"))->Onexecute = [this](QObject *) {
        saInterrompreTousexecute();
    };

    // The list's opening.
    model->SetOpenTestExtension(&TUIForm::LframelfOpenTestExtension);
    connect(model, &TFichierListModel::openStart, this, &TUIForm::LframelfOpenStart);
    connect(model, &TFichierListModel::openFolderFound, this, &TUIForm::LframelfOpenFolderFound);
    connect(model, &TFichierListModel::openEnd, this, [this](int) { LframelfOpenEnd(); });

    // The action states follow the list, the active entry and the panels
    // that cover the list, whoever shows or hides them.
    connect(model, &TFichierListModel::countsChanged, this, [this] { UpdateActionStates(); });
    connect(model, &TFichierListModel::activeChanged, this, [this] { UpdateActionStates(); });
    parts.panelHook = std::make_unique<EventHook>([this](QObject *, QEvent *event) {
        if (event->type() == QEvent::Show || event->type() == QEvent::Hide)
            UpdateActionStates();
    });
    EventHook *panels = parts.panelHook.get();
    parts.aboutPanel = findChild<QWidget *>(QStringLiteral("AproposFrame"));
    for (QWidget *panel : {static_cast<QWidget *>(VideFrame), parts.aboutPanel,
                           static_cast<QWidget *>(OptionsFrame), static_cast<QWidget *>(this)})
        panel->installEventFilter(panels);

    // A click on the file's name shows it in the file manager.
    parts.nameHook = std::make_unique<EventHook>([this](QObject *, QEvent *event) {
        if (event->type() == QEvent::MouseButtonRelease)
            m_al->Find(QStringLiteral("ccDossierParent"))->Execute();
    });
    BaseFrame->LabNom->installEventFilter(parts.nameHook.get());
}

void TUIForm::RunCommandAction(tAbstractCmd &command, QObject *sender, bool withValue)
{
    CommandParts &parts = *m_commands;
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

void TUIForm::UpdateActionStates()
{
    if (!m_commands)
        return;
    CommandParts &parts = *m_commands;
    const TPanelsShown panels{!VideFrame->isHidden(), !parts.aboutPanel->isHidden(),
                              !OptionsFrame->isHidden()};
    TFichierListModel *model = Lframe->lf->ListModel();
    TActionEntries entries;
    entries.active = ActiveFichier;
    for (const auto &entry : model->SelectedEntries())
        entries.selected.push_back(entry);
    for (int row = 0; row < model->Count(); ++row)
        entries.all.push_back(model->GetFichier(row));

    for (QAction *action : m_al->Actions()) {
        if (KeepsOwnState(action->objectName()))
            continue;
        const auto *super = static_cast<const TCustomSuperAction *>(action);
        const TActionState state = ActionStateFor(super->Category, panels,
                                                  parts.commands.value(action), parts.ce, entries);
        action->setVisible(state.visible);
        action->setEnabled(state.enabled);
    }
    for (QAction *top : menuBar()->actions())
        if (QMenu *menu = top->menu())
            top->setVisible(UpdateMenuVisibility(menu));

    if (ActiveFichier) {
        QAction *scenes = m_al->Find(QStringLiteral("taEditerScenes"));
        scenes->setEnabled(scenes->isEnabled() &&
                           ActiveFichier->Data().pictureText != kNotAvailable);
    }
    if (isVisible() && Lframe->isVisible())
        Lframe->lf->setFocus();
}

// ------------------------------------------------------------------ engine events

void TUIForm::ceStartCommand()
{
    ScriptWaiting = true;
}

void TUIForm::ceCommandEnd()
{
    SetCommandMessage(QString());
    Lframe->lf->ListModel()->RefreshActive();
    ScriptWaiting = false;
}

void TUIForm::ceStartFichier(const std::shared_ptr<TaviFichier> &entry)
{
    CommandParts &parts = *m_commands;
    parts.offsetEntry = entry;
    parts.savedOffset = entry ? entry->TimeOffset() : 0;
}

void TUIForm::ceEndFichier(const std::shared_ptr<TaviFichier> &entry)
{
    CommandParts &parts = *m_commands;
    if (!entry)
        return;
    // An entry read again from its file keeps the offset it had; a command
    // that gave the entry itself an offset (the time difference) keeps that.
    double offset = entry == parts.offsetEntry ? entry->TimeOffset() : parts.savedOffset;
    const QString text = FormatOffsetText(offset);
    entry->SetTimeOffset(offset, text);
}

void TUIForm::ceMessageCommand(const QString &text)
{
    CommandMessage = text;
    StatusPanel->setText(text);
    SetStatusColour(kCommandColour);
    statusBar()->repaint();
}

void TUIForm::ceErrorCommand(const QString &text, TErrorType type)
{
    CommandParts &parts = *m_commands;
    if (parts.closing)
        return;
    auto *box = new QMessageBox(QMessageBox::Critical, kProgramName, ErrorBoxText(text, type),
                                QMessageBox::Ok, this);
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

void TUIForm::ceStartProgress(int maximum)
{
    BaseFrame->Gauge1->setMaximum(maximum);
    BaseFrame->Gauge1->setValue(0);
    BaseFrame->Gauge1->show();
}

void TUIForm::ceSetProgress(int position)
{
    BaseFrame->Gauge1->setValue(position);
}

void TUIForm::ceEndProgress()
{
    BaseFrame->Gauge1->hide();
}

// ------------------------------------------------------------------ opening events

void TUIForm::LframelfOpenStart()
{
    ScriptWaiting = true;
}

void TUIForm::LframelfOpenFolderFound(const QString &folder)
{
    SetStatusText(QStringLiteral("Analysing ") + folder);
}

bool TUIForm::LframelfOpenTestExtension(const QString &fileName)
{
    return fileName.toLower().endsWith(QLatin1String(".avi"));
}

void TUIForm::LframelfOpenEnd()
{
    StatusMessage.clear();
    // The end of an earlier opening (the list kept from the last session,
    // say) does not end the wait for one that is still to come.
    if (CommandMessage.isEmpty() && !Lframe->lf->ListModel()->Opening()) {
        SetIdle();
        ScriptWaiting = false;
    }
}

// ------------------------------------------------------------------ preparations

void TUIForm::ccModifierCodecprepare()
{
    if (!ActiveFichier) {
        ExecuteAllowed = false;
        return;
    }
    CommandParts &parts = *m_commands;
    if (CodecForm == nullptr)
        CodecForm = new TCodecForm(this);
    if (!parts.codecPreset) {
        parts.codecPreset = true;
        CodecForm->le->setEnabled(false);
        CodecForm->SetCodec(ActiveFichier->Data().codec);
    }
    CodecForm->exec();
    ExecuteAllowed = CodecForm->CodecAccepted;
    if (ExecuteAllowed)
        ActionParams.append(CodecForm->NewFourCC);
}

void TUIForm::ccFrequenceVideoprepare()
{
    if (!ActiveFichier) {
        ExecuteAllowed = false;
        return;
    }
    CommandParts &parts = *m_commands;
    if (FrequenceForm == nullptr)
        FrequenceForm = new TFrequenceForm(this);
    if (!parts.frequencePreset) {
        parts.frequencePreset = true;
        FrequenceForm->le->setEnabled(false);
        const TFrequencePreset preset = FrequencePresetFor(ActiveFichier->Data().frameRate);
        FrequenceForm->rgFreq->button(int(preset.choice))->setChecked(true);
        if (preset.choice == TFrequenceChoice::Personalized) {
            FrequenceForm->le->setEnabled(true);
            if (FrequenceForm->le->text().isEmpty())
                FrequenceForm->le->setText(preset.personalized);
        }
    }
    FrequenceForm->exec();
    ExecuteAllowed = FrequenceForm->FrameRateAccepted;
    if (ExecuteAllowed)
        ActionParams.append(DecimalText(FrequenceForm->NewFrameRate));
}

void TUIForm::ccDecalerHoraireprepare()
{
    if (!ActiveFichier) {
        ExecuteAllowed = false;
        return;
    }
    if (DecalageForm == nullptr) {
        DecalageForm = new TDecalageForm(this);
        DecalageForm->OnPreviewOffset = [this](double offset) {
            m_viewdm.Superposer().SetDateOffset(offset);
            m_viewdm.Refresh();
        };
    }
    const DateTimeValue recorded = ActiveFichier->Data().recDateTime;
    DecalageForm->RecordedDate =
        recorded > 0 ? recorded : FromQDateTime(QDateTime::currentDateTime());
    DecalageForm->NewDate = DecalageForm->RecordedDate + ActiveFichier->TimeOffset();
    DecalageForm->StoredOffset = m_settings.TimeOffset;
    DecalageForm->exec();
    ExecuteAllowed = DecalageForm->Accepted;
    if (ExecuteAllowed)
        ActionParams.append(DecimalText(DecalageForm->Offset));
}

void TUIForm::ccCreerScnByIntervalleprepare()
{
    if (IntervalleForm == nullptr)
        IntervalleForm = new TIntervalleForm(this);
    IntervalleForm->Edit->setText(QString::number(m_settings.Interval));
    IntervalleForm->IntervalAccepted = false;
    IntervalleForm->exec();
    ExecuteAllowed = IntervalleForm->IntervalAccepted;
    if (ExecuteAllowed) {
        m_settings.Interval = IntervalleForm->SceneInterval;
        ActionParams.append(QString::number(m_settings.Interval));
    }
}

// ------------------------------------------------------------------ aborting

void TUIForm::acAbortExecute()
{
    TtoggleAction *fullscreen = m_al->Toggle(QStringLiteral("taFullscreen"));
    if (fullscreen->Checked()) {
        if (const TActionEvent leave = fullscreen->CommandEvent())
            leave(fullscreen);
        return;
    }
    m_viewdm.EndFrameWait();
    script1->Stop();
    Switch1->Stop();
    m_commands->ce.AbortCurrent();
    Lframe->lf->ListModel()->AbortOpen();
}

void TUIForm::saInterrompreTousexecute()
{
    script1->Stop();
    Switch1->Stop();
    m_viewdm.EndFrameWait();
    Lframe->lf->ListModel()->AbortOpen();
    m_commands->ce.AbortAll();
    ScriptWaiting = false;
}

void TUIForm::EndCommandsForClose()
{
    CommandParts &parts = *m_commands;
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
