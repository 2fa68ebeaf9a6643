#include "ui/uiform.h"

#include "files/listtexts.h"
#include "files/widgets/fichierlistbox.h"
#include "platform/logging.h"
#include "platform/shell/shellroutines.h"
#include "platform/shell/widgets/prepareform.h"
#include "platform/sysinfo/mediaversion.h"
#include "settings/widgets/optionsframe.h"
#include "settings/widgets/raccourcisform.h"
#include "settings/widgets/saveprefsform.h"
#include "ui/aproposframe.h"
#include "ui/commandactions.h"
#include "ui/copyactions.h"
#include "ui/displayactions.h"
#include "ui/displaylayout.h"
#include "ui/editorkeys.h"
#include "ui/fullscreen.h"
#include "ui/keypadkeys.h"
#include "ui/listactions.h"
#include "ui/overlayactions.h"
#include "ui/playbackactions.h"
#include "ui/sceneeditoractions.h"
#include "ui/ubaseframe.h"
#include "ui/uvideframe.h"
#include "ui/uvueframe.h"
#include "video/filters/overlaylayout.h"
#include "video/graphs/viewgraph.h"

#include <QAbstractButton>
#include <QApplication>
#include <QButtonGroup>
#include <QClipboard>
#include <QCloseEvent>
#include <QDate>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QLocale>
#include <QMenuBar>
#include <QMimeData>
#include <QPushButton>
#include <QScreen>
#include <QStatusBar>
#include <QTimer>
#include <QToolBar>

#include <cstdio>
#include <stdexcept>

namespace vidora {

namespace {

constexpr int kMajor = 7;
constexpr int kMinor = 0;
constexpr int kRelease = 5;

} // namespace

QString VersionNumberText()
{
    return QString::asprintf("%d.%d.%d", kMajor, kMinor, kRelease);
}

QString AppVersionText()
{
    return kProgramName + u' ' + VersionNumberText() + u' ' + QStringLiteral("En");
}

QString MainWindowCaption()
{
    return AppVersionText() + QStringLiteral(" by ") + kMakerName;
}

TUIForm::TUIForm(Settings &settings, Tviewdm &viewdm, QWidget *parent)
    : QMainWindow(parent), m_settings(settings), m_viewdm(viewdm)
{
    setObjectName(QStringLiteral("UIForm"));
    BuildWindow();
    BindActions();
    FormCreate();
}

TUIForm::~TUIForm()
{
    FormDestroy();
    // The preview shows into the video view: it lets go of it first.
    m_viewdm.CloseGraph();
}

void TUIForm::UpdateActionStates()
{
    if (m_commands)
        m_commands->UpdateActionStates();
}

void TUIForm::BuildWindow()
{
    m_al = std::make_unique<TActionList>(this);
    addActions(m_al->Actions());
    m_al->FillMenuBar(menuBar());

    // Small toolbar images: every toolbar of the main mode fits the
    // smallest main window in one row, none hiding its buttons behind
    // its overflow arrow.
    setIconSize(kToolbarIconSize);
    for (const TMenuLayout &layout : ToolbarLayout()) {
        QToolBar *bar = m_al->MakeToolbar(layout, this);
        addToolBar(Qt::TopToolBarArea, bar);
        const QString name = bar->objectName();
        if (name == u"tbOuvrir")
            tbOuvrir = bar;
        else if (name == u"tbVideo")
            tbVideo = bar;
        else if (name == u"tbScenes")
            tbScenes = bar;
        else if (name == u"tbListe")
            tbListe = bar;
        else if (name == u"tbInterface")
            tbInterface = bar;
    }
    tbScenes->hide();
    for (QToolBar *bar : {tbOuvrir, tbVideo, tbScenes, tbListe, tbInterface})
        bar->installEventFilter(this);

    // The frames are placed by ApplyFrameLayout (displaylayout.h).
    m_client = new QWidget(this);
    m_client->setObjectName(QStringLiteral("client"));
    setCentralWidget(m_client);
    VueFrame = new TVueFrame(m_client);
    BaseFrame = new TBaseFrame(m_client);
    Lframe = new TListeFrame(m_client);

    VideFrame = new TVideFrame(m_client);
    VideFrame->hide();
    AproposFrame = new TAproposFrame(m_client);
    AproposFrame->hide();
    OptionsFrame = new TOptionsFrame(m_settings, m_client);
    OptionsFrame->hide();
    m_client->installEventFilter(this);

    mainPopup = m_al->MakePopup(QStringLiteral("mainPopup"), this);
    pmWindow = m_al->MakePopup(QStringLiteral("pmWindow"), this);
    for (QWidget *target : {static_cast<QWidget *>(Lframe), static_cast<QWidget *>(VideFrame)}) {
        target->setContextMenuPolicy(Qt::CustomContextMenu);
        connect(target, &QWidget::customContextMenuRequested, this,
                [this, target](const QPoint &at) { mainPopup->popup(target->mapToGlobal(at)); });
    }
    VueFrame->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(VueFrame, &QWidget::customContextMenuRequested, this,
            [this](const QPoint &at) { pmWindow->popup(VueFrame->mapToGlobal(at)); });

    StatusPanel = new QLabel(this);
    StatusPanel->setObjectName(QStringLiteral("StatusPanel"));
    StatusPanel->setAlignment(Qt::AlignCenter);
    statusBar()->addWidget(StatusPanel, 1);
    statusBar()->setAutoFillBackground(true);
    statusBar()->setSizeGripEnabled(false);

    VueFrame->SetPreview(&m_viewdm);
    VueFrame->SetSettings(&m_settings);
    VueFrame->SetDisplayRecord(&BaseFrame->DisplayRecord());
    BaseFrame->SetSettings(&m_settings);
    BaseFrame->SetPreview(&m_viewdm);
    m_viewdm.SetSettings(&m_settings);

    TFichierListModel *model = new TFichierListModel(this);
    Lframe->lf->SetListModel(model);
    model->SetFichierClass([this](const QString &folder, const QFileInfo &found) {
        TaviReading reading;
        reading.datecodeFormat = m_settings.FormatShowDatecode;
        return std::static_pointer_cast<TSRFichier>(
            TaviFichier::CreateFromSearchRec(folder, found, reading));
    });
    connect(model, &TFichierListModel::countsChanged, this, &TUIForm::lfCountsChange);

    script1 = new TScript(this);
    Switch1 = new TSwitch(this);
    for (TCustomScript *runner :
         {static_cast<TCustomScript *>(script1), static_cast<TCustomScript *>(Switch1)}) {
        runner->actionlist = m_al->Actions();
        runner->OnCloseMainWindow = [this] { close(); };
    }
    Switch1->DefaultAction = m_al->Find(QStringLiteral("saOuvrirFichiers"));
    Switch1->OnActivate = [this] { ApplicationActivate(); };
    Switch1->OnNoCommandLine = [this] { script1NoCommandLine(); };
}

void TUIForm::BindActions()
{
    auto plain = [this](const char *name, std::function<void()> command) {
        m_al->Plain(QString::fromUtf8(name))->Onexecute = [command](QObject *) { command(); };
    };
    plain("saQuitter", [this] { close(); });
    m_display = std::make_unique<DisplayActions>(
        *this, m_laying, *m_al, m_settings,
        DisplayActions::Parts{
            .client = m_client,
            .about = AproposFrame,
            .options = OptionsFrame,
            .tbOuvrir = tbOuvrir,
            .tbVideo = tbVideo,
            .tbScenes = tbScenes,
            .tbListe = tbListe,
            .tbInterface = tbInterface,
        },
        DisplayActions::Hooks{
            .displayMode = [this] { return DisplayMode(); },
            .setDisplayMode = [this](std::uint8_t mode) { SetDisplayMode(mode); },
            .placeOverlays = [this] { PlaceOverlays(); },
            .leaveFullScreen = [this] { m_fullScreen->Leave(); },
        });
    // The view's tick runs through the window's, which adds the position.
    VueFrame->SetTickHandler([this] { Timerproc(); });
    m_playback = std::make_unique<PlaybackActions>(
        *m_al, m_viewdm, *VueFrame, *BaseFrame,
        PlaybackActions::Scenes{
            .activeFile = [this] { return ActiveFichier; },
            .list = [this] { return SFrame; },
            .editing = [this] { return ScenesEditing(); },
            .select = [this](int index) { SelectSceneAndSeek(index); },
            .showPosition = [this] { Timerproc(); },
        });
    m_fullScreen = std::make_unique<FullScreen>(
        *this, m_laying, *m_al, *VueFrame,
        FullScreen::Hooks{
            .hasActiveFile = [this] { return ActiveFichier != nullptr; },
            .hidePanel = [this](bool about) { m_display->HidePanel(about); },
            .displayMode = [this] { return DisplayMode(); },
            .setDisplayMode = [this](std::uint8_t mode) { SetDisplayMode(mode); },
            .updateActionStates = [this] { UpdateActionStates(); },
        });
    // The keypad's keys (volume, conversions) through the window's own look-up.
    new TKeypadKeys(this, m_al->Actions());
    TtoggleAction *options = m_al->Toggle(QStringLiteral("taOptions"));
    connect(OptionsFrame->CloseBtn, &QAbstractButton::clicked, options,
            [options] { options->Execute(); });
    OptionsFrame->OnSavePreferences = [this] { CollectPreferences(); };
    AproposFrame->OnCommandListClick = [this] {
        m_al->Find(QStringLiteral("taRaccourcis"))->Execute();
    };
    m_lists = std::make_unique<ListActions>(
        *m_al, m_settings,
        ListActions::Parts{
            .window = this,
            .model = Lframe->lf->ListModel(),
            .options = OptionsFrame,
            .popup = mainPopup,
            .script = script1,
            .setStatusText = [this](const QString &text) { SetStatusText(text); },
        });
    connect(Lframe->lf->ListModel(), &TFichierListModel::activeChanged, this,
            &TUIForm::lfActiveChange);
    setAcceptDrops(true);
    StartReadyNotice();
    // The commands-and-keys window, once the program gave it.
    TtoggleAction *shortcuts = m_al->Toggle(QStringLiteral("taRaccourcis"));
    shortcuts->OnfalseExecute = [this, shortcuts](QObject *) {
        if (!m_raccourcis)
            return;
        if (m_raccourcis->x() < 0)
            m_raccourcis->move(0, m_raccourcis->y());
        m_raccourcis->show();
        m_raccourcis->raise();
        shortcuts->SetChecked(true);
    };
    shortcuts->OnTrueExecute = [this, shortcuts](QObject *) {
        if (m_raccourcis)
            m_raccourcis->hide();
        shortcuts->SetChecked(false);
    };

    BindSceneEditorActions();
    m_commands = std::make_unique<CommandActions>(*this, m_settings, m_viewdm);

    // Each two-state action takes the command of its state, now bound.
    for (QAction *action : m_al->Actions())
        if (auto *toggle = qobject_cast<TtoggleAction *>(action))
            toggle->SetChecked(toggle->Checked());
    // An action that would do nothing is a slip: the window does not start.
    const QStringList unbound = m_al->WithoutBehaviour();
    if (!unbound.isEmpty())
        throw std::logic_error("actions without behaviour: " +
                               unbound.join(QStringLiteral(", ")).toStdString());
    UpdateActionStates();
}

bool TUIForm::IsFullScreen() const
{
    return m_fullScreen->IsOn();
}

void TUIForm::SetPlaque(Tplaque *plaque)
{
    m_fullScreen->SetPlaque(plaque);
    if (plaque)
        plaque->SetKeyTarget(Lframe->lf);
}

void TUIForm::SetRaccourcisForm(TRaccourcisForm *form)
{
    m_raccourcis = form;
    if (!m_raccourcis)
        return;
    m_raccourcis->setWindowTitle(QStringLiteral("The commands of %1").arg(AppVersionText()));
    TtoggleAction *shortcuts = m_al->Toggle(QStringLiteral("taRaccourcis"));
    shortcuts->SetChecked(false);
    shortcuts->setEnabled(true);
}

void TUIForm::FormCreate()
{
    try {
        PrepareForm(this);
        StandardVerification = false;
        m_al->Find(QStringLiteral("saQuitter"))
            ->setHint(QStringLiteral("Quit %1").arg(kProgramName));
        m_settings.AppVersionText = AppVersionText();
        setWindowTitle(MainWindowCaption());
        SceneShown = true;
        SetIdle();
    } catch (...) {
        // A failing step leaves the rest of the window as it is.
        qCWarning(lcUi) << "the window could not be laid out:" << CurrentExceptionText();
    }
}

void TUIForm::showEvent(QShowEvent *event)
{
    QMainWindow::showEvent(event);
    if (!m_shown) {
        m_shown = true;
        FormShow();
    }
}

void TUIForm::FormShow()
{
    try {
        m_settings.DisplayMode = displaymode::ListHidden;
        m_al->Find(QStringLiteral("ccVisitHomepage"))
            ->setCaption(QStringLiteral("Visit the homepage of %1").arg(kProgramName));
        AproposFrame->BuildAboutText(QLocale().toString(QDate(2008, 4, 16), QLocale::ShortFormat));
        QString mediaVersion;
        GetDirectXVersion(mediaVersion);
        AproposFrame->ShowSystem(GetWindowsVersionName(), mediaVersion);
        BaseFrame->Setup();
        ApplyPreferences();
        lfCountsChange(0, 0);
        const QString f3 = QFileInfo(m_settings.FileF3).completeBaseName();
        const QString f4 = QFileInfo(m_settings.FileF4).completeBaseName();
        m_al->Find(QStringLiteral("ccOpenFichierF3"))
            ->setCaption(QStringLiteral("Open with ") + f3);
        m_al->Find(QStringLiteral("ccOpenFichierF4"))
            ->setCaption(QStringLiteral("Open with ") + f4);
        Lframe->lf->SetAcceptFiles(true);
    } catch (...) {
        qCWarning(lcUi) << "a step of showing the window failed:" << CurrentExceptionText();
    }
    BaseFrame->Clear();
    m_al->Toggle(QStringLiteral("taBasculerListe"))->SetChecked(true);
    m_al->Toggle(QStringLiteral("taApropos"))->SetChecked(false);
    m_al->Toggle(QStringLiteral("taOptions"))->SetChecked(false);
    m_al->Toggle(QStringLiteral("taSelectionnerOuverts"))->SetChecked(m_settings.SelectWhenOpening);
}

void TUIForm::ApplyPreferences()
{
    m_settings.LoadPreferences();
    // The stored place is no move by the user.
    ++m_laying;
    // On the screens as they are now, whatever the stored values.
    QList<QRect> screens;
    for (const QScreen *screen : QGuiApplication::screens())
        screens << screen->availableGeometry();
    const QRect bounds = WindowBoundsOnScreens(m_settings.Left, m_settings.Top, m_settings.Width,
                                               m_settings.Height, screens);
    m_settings.Left = bounds.left();
    m_settings.Top = bounds.top();
    m_settings.Width = bounds.width();
    m_settings.Height = bounds.height();
    setGeometry(bounds);
    if (m_settings.WindowState == 2)
        setWindowState(Qt::WindowMaximized);
    else if (m_settings.WindowState == 1)
        setWindowState(Qt::WindowMinimized);
    --m_laying;
    m_settings.FolderToOpenFiles = FolderWithSlash(m_settings.FolderToOpenFiles);
    m_settings.SaveFolder = FolderWithSlash(m_settings.SaveFolder);
    m_settings.PlaylistFolder = FolderWithSlash(m_settings.PlaylistFolder);
    TFichierListModel *model = Lframe->lf->ListModel();
    model->PreferredPlayList = DefaultPlayListPath(m_settings);
    model->PreferredFolder = FolderWithSlash(m_settings.AutoOpenFolder);
    model->SelectionnerOuverts = m_settings.SelectWhenOpening;
    if (m_settings.IsMuteOn)
        m_al->Find(QStringLiteral("taMute"))->Execute();
    if (!m_settings.ListLeft)
        m_al->Find(QStringLiteral("taListeGauche"))->Execute();
    BaseFrame->Gauge2->setValue(m_settings.Volume / 100);
    VueFrame->incrustHorz->setValue(m_settings.IncrustPositionX);
    VueFrame->incrustVert->setValue(OverlayFromBottom(m_settings.IncrustPositionY));
    if (!QFileInfo(m_settings.SaveFolder).isDir())
        m_settings.SaveInSameFolder = true;
    OptionsFrame->ShowSettings();
    model->SetSortIndex(SortIndexFromKey(m_settings.SortIndex));
    model->Resort();
    ApplyOverlayPreferences();
    SetDisplayMode(m_settings.DisplayMode);
}

void TUIForm::CollectPreferences()
{
    if (m_settings.PreferencesMode == kPreferencesNone)
        return;
    // The normal size and place as SetDisplayMode keeps them: a narrow,
    // panel or maximised window keeps the size of the full display.
    RememberWindowBounds();
    m_settings.WindowState = isMaximized() ? 2 : (isMinimized() ? 1 : 0);
    m_settings.IncrustPositionX = VueFrame->incrustHorz->value();
    m_settings.IncrustPositionY = OverlayFromBottom(VueFrame->incrustVert->value());
    m_settings.SortIndex = Lframe->lf->ListModel()->SortIndex().KeyWord;
    m_settings.PortablePath = QCoreApplication::applicationDirPath() + u'/';
    m_settings.SavePreferences();
}

bool TUIForm::FormCloseQuery()
{
    // Each step of closing goes on whatever the one before did: a preview
    // graph that fails to stop must not keep the settings from being saved.
    const auto step = [](const char *what, const std::function<void()> &run) {
        try {
            run();
        } catch (...) {
            qCWarning(lcUi) << what << "failed while closing:" << CurrentExceptionText();
        }
    };
    step("the scene editor", [this] { SceneEditorCloseQuery(); });
    step("the preview", [this] { m_viewdm.CloseGraph(); });
    try {
        // Ended from outside, nobody may be there to answer: no store chosen
        // keeps the settings unsaved, as "do not save" would.
        if (m_settings.PreferencesMode == kPreferencesNone && !m_terminating) {
            std::unique_ptr<TSavePrefsForm> own;
            TSavePrefsForm *ask = m_savePrefs;
            if (!ask) {
                own = std::make_unique<TSavePrefsForm>(this);
                ask = own.get();
            }
            ask->Accepted = false;
            ask->exec();
            if (ask->Accepted) {
                if (QAbstractButton *button = OptionsFrame->rgPrefs->button(ask->Choice))
                    button->setChecked(true);
                m_settings.PreferencesMode = ask->Choice;
            } else if (!m_terminating) {
                return false;
            }
        }
        CollectPreferences();
    } catch (...) {
        // Closing goes on with what could be done.
        qCWarning(lcUi) << "a step of closing failed:" << CurrentExceptionText();
    }
    VueFrame->timer1->stop();
    m_al->Find(QStringLiteral("saInterrompreTous"))->Execute();
    m_commands->EndForClose();
    return true;
}

void TUIForm::closeEvent(QCloseEvent *event)
{
    // A close asked for while the close query waits for an answer (a second
    // close box click, a quit from the question's own loop) is that close.
    if (m_inCloseQuery) {
        event->ignore();
        return;
    }
    bool close = m_closing;
    if (!close) {
        m_inCloseQuery = true;
        close = FormCloseQuery();
        m_inCloseQuery = false;
    }
    if (!close) {
        event->ignore();
        return;
    }
    const bool first = !m_closing;
    m_closing = true;
    // The video view comes back from the full-screen backdrop, which may
    // go before the window.
    m_fullScreen->Leave();
    event->accept();
    if (first && OnClosed)
        OnClosed();
}

void TUIForm::Terminate()
{
    m_terminating = true;
    // The questions open further down the stack end as their close box
    // would end them (the innermost first); the close query or command that
    // asked goes on from there.
    bool hidden = false;
    for (int i = 0; i < 16; ++i) {
        QWidget *modal = QApplication::activeModalWidget();
        if (!modal)
            break;
        modal->hide();
        hidden = true;
    }
    if (m_inCloseQuery)
        return;
    // A window shown modally by a command (the AVI analyser) holds the
    // command's worker until its own loop has returned: the close, which
    // waits for that worker, comes once the loops below this call unwound.
    if (hidden)
        QTimer::singleShot(0, this, [this] { close(); });
    else
        close();
}

void TUIForm::FormDestroy()
{
    // Every worker ends before the window goes: the opener's thread is
    // asked to stop and joined with the list.
    TFichierListModel *model = Lframe->lf->ListModel();
    model->AbortOpen();
    Switch1->Stop();
    script1->Stop();
    if (m_settings.SaveListWhenQuit) {
        // The window is going: a list that cannot be kept is told on stderr.
        QDir().mkpath(m_settings.PlaylistFolder);
        QString error;
        QStringList leftOut;
        if (!m_lists->SavePlayList(DefaultPlayListPath(m_settings), error, leftOut))
            std::fprintf(stderr, "%s\n", qPrintable(error));
        else if (!leftOut.isEmpty())
            std::fprintf(stderr, "%s\n", qPrintable(PlayListLeftOutMessage(leftOut)));
    }
}

void TUIForm::FormResize()
{
    PlaceOverlays();
}

void TUIForm::resizeEvent(QResizeEvent *event)
{
    QMainWindow::resizeEvent(event);
    FormResize();
}

bool TUIForm::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_client && event->type() == QEvent::Resize) {
        PlaceOverlays();
        ApplyFrameLayout();
    } else if ((event->type() == QEvent::Show || event->type() == QEvent::Hide) &&
               qobject_cast<QToolBar *>(watched)) {
        FitToolbars();
    }
    return QMainWindow::eventFilter(watched, event);
}

void TUIForm::PlaceOverlays()
{
    const QRect area = m_client->rect();
    VideFrame->setGeometry(area);
    AproposFrame->setGeometry(area);
    if (OptionsFrame->isVisible())
        OptionsFrame->ShowPanel();
}

void TUIForm::SetStatusColour(const QColor &colour)
{
    QPalette palette = statusBar()->palette();
    palette.setColor(QPalette::Window, colour);
    statusBar()->setPalette(palette);
}

void TUIForm::SetIdle()
{
    StatusPanel->setText(QStringLiteral("Ready"));
    SetStatusColour(QApplication::palette().color(QPalette::Button));
}

void TUIForm::SetStatusText(const QString &text)
{
    StatusMessage = text;
    if (!CommandMessage.isEmpty())
        return;
    StatusPanel->setText(text);
    SetStatusColour(kStatusColour);
}

void TUIForm::SetCommandMessage(const QString &text)
{
    CommandMessage = text;
    if (text.isEmpty()) {
        if (StatusMessage.isEmpty())
            SetIdle();
        else
            SetStatusText(StatusMessage);
        return;
    }
    StatusPanel->setText(text);
    SetStatusColour(kCommandColour);
    statusBar()->repaint();
}

void TUIForm::StartOpening(const QString &status)
{
    SetStatusText(status);
    ScriptWaiting = true;
}

void TUIForm::script1NoCommandLine()
{
    if (!m_settings.SaveListWhenQuit)
        return;
    StartOpening(QStringLiteral("Restoring the files from the previous session"));
    Lframe->lf->ListModel()->OpenPreferredPlayList();
}

void TUIForm::ApplicationActivate()
{
    const QMimeData *mime = QApplication::clipboard()->mimeData();
    m_al->Find(QStringLiteral("saCollerFichiers"))->setEnabled(mime && mime->hasUrls());
}

void TUIForm::lfCountsChange(int selectedCount, int count)
{
    TFichierListModel *model = Lframe->lf->ListModel();
    Lframe->labSelect->setText(CountsLabelText(selectedCount, count, model->SortIndex()));
    ApplyEmptyListLayout(count);
}

} // namespace vidora
