#include "scenes/widgets/scenelisteframe.h"

#include "platform/shell/pathroutines.h"
#include "scenes/edittitres.h"
#include "scenes/scenefile.h"

#include <QDesktopServices>
#include <QGuiApplication>
#include <QLabel>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QUrl>
#include <QVBoxLayout>

namespace vidora {
namespace {

// Opens the file with the desktop's program, where there is a desktop.
void OpenWithDesktop(const QString &file)
{
    const QString platform = QGuiApplication::platformName();
    if (platform == QLatin1String("offscreen") || platform == QLatin1String("minimal"))
        return;
    QDesktopServices::openUrl(QUrl::fromLocalFile(file));
}

} // namespace

QString TSceneFrameServices::CompanionName(const QString &video, const QString &ending)
{
    return CompanionFileName(video, ending);
}

TSFrame::TSFrame(TSceneFrameServices services, QWidget *parent)
    : QWidget(parent), m_services(std::move(services))
{
    if (!m_services.openFile)
        m_services.openFile = OpenWithDesktop;
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    lb = new QListWidget(this);
    labSelect = new QLabel(this);
    labSelect->setAlignment(Qt::AlignCenter);
    layout->addWidget(lb, 1);
    layout->addWidget(labSelect);
    connect(lb, &QListWidget::currentRowChanged, this, [this](int row) {
        if (row >= 0 && row < Count())
            emit sceneChosen(row);
    });
}

void TSFrame::ShowFrame()
{
    show();
    raise();
}

void TSFrame::HideFrame()
{
    hide();
}

void TSFrame::ShowScenes(const QString &videoName, std::uint32_t frameCount)
{
    if (HasScnFile(videoName))
        LoadScenes(videoName);
    else
        ShowUnanalysed(videoName, frameCount);
}

void TSFrame::LoadScenes(const QString &videoName)
{
    ClearScenes();
    m_scenes = LoadSceneListOf(videoName, m_services.context());
    RefreshList();
    Modified = false;
    VideoName = videoName;
}

void TSFrame::ShowUnanalysed(const QString &videoName, std::uint32_t frameCount)
{
    ClearScenes();
    VideoName = videoName;
    Modified = false;
    m_scenes = UnanalysedSceneList(frameCount, m_services.context());
    RefreshList();
}

void TSFrame::ClearScenes()
{
    const QSignalBlocker block(lb);
    lb->clear();
    m_scenes.clear();
}

void TSFrame::RefreshList()
{
    const QSignalBlocker block(lb);
    const int row = lb->currentRow();
    lb->clear();
    for (const TSceneItem &item : m_scenes)
        lb->addItem(item.Text);
    if (row >= 0 && row < lb->count())
        lb->setCurrentRow(row);
}

std::shared_ptr<TSceneClass> TSFrame::GetScene(int index) const
{
    if (index < 0 || index >= Count())
        return nullptr;
    return m_scenes[static_cast<std::size_t>(index)].Scene;
}

void TSFrame::Fail(const QString &message)
{
    if (m_services.reportError)
        m_services.reportError(message);
}

bool TSFrame::SaveScn(const QString &videoName)
{
    QString error;
    if (!SaveSceneList(videoName, m_scenes, error)) {
        Fail(error);
        return false;
    }
    Modified = false;
    return true;
}

bool TSFrame::ExportText(const QString &videoName)
{
    QString error;
    if (!ExportSceneText(videoName, m_scenes, m_services.listing, error)) {
        Fail(error);
        return false;
    }
    return true;
}

bool TSFrame::ExportOffice(TOfficeFormat format, const QString &videoName)
{
    const QString out = m_services.outputPath(videoName, OfficeEnding(format));
    QString error;
    if (!ExportSceneOffice(format, videoName, out, m_scenes, m_services.office, error)) {
        Fail(error);
        return false;
    }
    m_services.openFile(out);
    return true;
}

bool TSFrame::ExportExcel(const QString &videoName)
{
    return ExportOffice(TOfficeFormat::Xls, videoName);
}

bool TSFrame::ExportWord(const QString &videoName)
{
    return ExportOffice(TOfficeFormat::Doc, videoName);
}

bool TSFrame::ExportCalc(const QString &videoName)
{
    return ExportOffice(TOfficeFormat::Ods, videoName);
}

bool TSFrame::ExportWriter(const QString &videoName)
{
    return ExportOffice(TOfficeFormat::Odt, videoName);
}

std::uint32_t TSFrame::NextSceneStart(std::uint32_t position, std::uint32_t fallback) const
{
    return vidora::NextSceneStart(m_scenes, position, fallback);
}

std::uint32_t TSFrame::PrevSceneStart(std::uint32_t position) const
{
    return vidora::PrevSceneStart(m_scenes, position);
}

void TSFrame::GoNextScene(std::uint32_t frameCount)
{
    ISceneNavigator *nav = m_services.navigator;
    if (!nav)
        return;
    nav->Pause();
    nav->SeekTo(NextSceneStart(nav->CurrentFrame(), frameCount));
}

void TSFrame::GoPrevScene()
{
    ISceneNavigator *nav = m_services.navigator;
    if (!nav)
        return;
    nav->Pause();
    nav->SeekTo(PrevSceneStart(nav->CurrentFrame()));
}

TSceneBase::TSceneBase(TSceneFrameServices services, QWidget *parent)
    : QWidget(parent), m_services(std::move(services))
{
    // The panel stands in the information frame's place, 296 × 208: the
    // heading, the scene's texts at the left with its thumbnail beside them,
    // the caption below.
    setAutoFillBackground(true);
    auto *heading = new QLabel(QStringLiteral("Scenes Editor"), this);
    heading->setAlignment(Qt::AlignCenter);
    heading->setGeometry(4, 2, 288, 16);
    constexpr int kTop = 20, kRow = 17;
    int row = 0;
    for (QLabel **label : {&labScene, &labDuree, &labTimeStamp, &labTimecode, &labDatecode}) {
        *label = new QLabel(this);
        (*label)->setGeometry(4, kTop + row++ * kRow, ImageBounds.left() - 8, 16);
    }
    image = new QLabel(this);
    image->setGeometry(ImageBounds);
    image->setAlignment(Qt::AlignCenter);
    memoTitre = new QPlainTextEdit(this);
    memoTitre->setGeometry(4, ImageBounds.bottom() + 4, 288, 204 - ImageBounds.bottom() - 4);
    // The caption is at most kMaxCaption characters.
    connect(memoTitre, &QPlainTextEdit::textChanged, this, [this] {
        const QString text = memoTitre->toPlainText();
        if (text.size() > kMaxCaption) {
            const QSignalBlocker block(memoTitre);
            memoTitre->setPlainText(text.left(kMaxCaption));
            memoTitre->moveCursor(QTextCursor::End);
        }
    });
}

void TSceneBase::ShowScene(std::shared_ptr<TSceneClass> scene)
{
    m_shown = std::move(scene);
    if (!m_shown)
        return;
    const TSceneContext context = m_services.context();
    if (m_services.navigator)
        m_services.navigator->SeekTo(m_shown->StartFrame);
    labDuree->setText(QStringLiteral("Duration ") + FormatDuration(m_shown->Length(), context));
    labScene->setText(QStringLiteral("Scene ") + QString::number(m_shown->Number));
    labDatecode->setText(m_shown->DatecodeText);
    labTimecode->setText(m_shown->TimecodeText);
    labTimeStamp->setText(m_shown->StartText);
    QImage thumb = m_shown->Thumbnail;
    if (thumb.isNull() && context.video) {
        // A scene whose picture was not made shows black at the picture's size.
        const QSize size = ThumbnailSize(context.video->width, context.video->height);
        if (!size.isEmpty()) {
            thumb = QImage(size, QImage::Format_BGR888);
            thumb.fill(Qt::black);
        }
    }
    const std::optional<QRect> fit = FitRectKeepAspect(thumb.width(), thumb.height(), ImageBounds);
    if (fit) {
        image->setGeometry(*fit);
        image->setPixmap(QPixmap::fromImage(thumb).scaled(fit->size()));
    } else {
        image->clear();
    }
    const QSignalBlocker block(memoTitre);
    memoTitre->setPlainText(m_shown->Title + QLatin1Char('\n') + m_shown->Subtitle);
}

} // namespace vidora
