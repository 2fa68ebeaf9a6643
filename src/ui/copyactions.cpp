#include "ui/copyactions.h"

#include "files/avifichier.h"
#include "formats/datetime.h"
#include "settings/settings.h"
#include "ui/actioncatalogue.h"
#include "ui/ubaseframe.h"
#include "video/filters/dv_superposer.h"
#include "video/graphs/viewgraph.h"

#include <QApplication>
#include <QClipboard>
#include <QFileInfo>
#include <QLabel>
#include <QLocale>
#include <QMenu>

namespace vidora {

CopyActions::CopyActions(TActionList &actions, Tviewdm &viewdm, const SettingValues &settings,
                         TBaseFrame &info, std::function<std::shared_ptr<TaviFichier>()> activeFile)
    : m_al(actions), m_viewdm(viewdm), m_settings(settings), m_info(info),
      m_activeFile(std::move(activeFile))
{
    m_menu = new QMenu(&m_info);
    m_menu->setObjectName(QStringLiteral("copiermenu"));
    m_info.setContextMenuPolicy(Qt::CustomContextMenu);
    QObject::connect(&m_info, &QWidget::customContextMenuRequested, m_menu,
                     [this](const QPoint &at) { m_menu->popup(m_info.mapToGlobal(at)); });
    m_al.Plain(QStringLiteral("saCopierImagedansPP"))->Onexecute = [this](QObject *) {
        const std::shared_ptr<TaviFichier> active = m_activeFile();
        if (!active)
            return;
        const TaviData &fileData = active->Data();
        if (fileData.width <= 0 || fileData.height <= 0)
            return;
        m_snapshot = QImage(fileData.width, fileData.height, QImage::Format_BGR888);
        m_snapshot.fill(Qt::black);
        m_viewdm.Superposer().CopyPictureDeinterlaced(m_snapshot);
        QApplication::clipboard()->setImage(m_snapshot);
    };
    const std::pair<const char *, std::function<QString()>> copies[] = {
        {"Copy the datecode", [this] { return m_info.labDatecode->text(); }},
        {"Copy the timecode", [this] { return m_info.LabTimecode->text(); }},
        {"Copy the codec", [this] { return m_info.LabCodec->text(); }},
        {"Copy the size of image", [this] { return m_info.LabImage->text(); }},
        {"Copy the duration", [this] { return m_info.LabDuree->text(); }},
        {"Copy the framerate", [this] { return m_info.labFPS->text(); }},
        {"Copy audio",
         [this] {
             return m_info.LabAudio1->text() + QLatin1Char('\r') + m_info.LabAudio2->text();
         }},
        // Names as the file system has them: a lower-cased path would name
        // another file, or none.
        {"Copy the full name",
         [this] {
             const std::shared_ptr<TaviFichier> active = m_activeFile();
             return active ? active->FullPath() : QString();
         }},
        {"Copy the short name",
         [this] {
             const std::shared_ptr<TaviFichier> active = m_activeFile();
             return active ? QFileInfo(active->FullPath()).fileName() : QString();
         }},
        {"Copy the file date",
         [this] {
             const std::shared_ptr<TaviFichier> active = m_activeFile();
             if (!active)
                 return QString();
             try {
                 return FormatDateTime(m_settings.FormatShowDatecode, active->LastWriteDate());
             } catch (const std::exception &) {
                 return QString();
             }
         }},
        {"Copy the size of file",
         [this] {
             const std::shared_ptr<TaviFichier> active = m_activeFile();
             return active ? QLocale().toString(qlonglong(active->Size())) : QString();
         }},
    };
    for (const auto &[caption, text] : copies) {
        QAction *entry = m_menu->addAction(QString::fromUtf8(caption));
        QObject::connect(entry, &QAction::triggered, m_menu, [this, text = text] {
            if (m_activeFile())
                QApplication::clipboard()->setText(text());
        });
    }
}

} // namespace vidora
