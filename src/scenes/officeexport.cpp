#include "scenes/officeexport.h"

#include "formats/datetime.h"
#include "platform/shell/pathroutines.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QStandardPaths>

#include <thread>
#include <vector>

namespace vidora {
namespace {

const char *FormatKey(TOfficeFormat format)
{
    switch (format) {
    case TOfficeFormat::Xls:
        return "xls";
    case TOfficeFormat::Doc:
        return "doc";
    case TOfficeFormat::Ods:
        return "ods";
    case TOfficeFormat::Odt:
        return "odt";
    }
    return "ods";
}

bool IsSpreadsheet(TOfficeFormat format)
{
    return format == TOfficeFormat::Xls || format == TOfficeFormat::Ods;
}

QString SafeFormat(const QString &pattern, DateTimeValue value, const QLocale &locale)
{
    try {
        return FormatDateTime(pattern, value, locale);
    } catch (const std::exception &) {
        return QString();
    }
}

// How often a running helper is checked for an abort request.
constexpr int kAbortPollMs = 50;

// Thumbnails held before they are written out: a few per writing thread.
constexpr std::size_t kThumbnailBatch = 32;

// The last line the helper wrote on its error output: its reason.
QString LastLine(const QByteArray &output)
{
    const QStringList lines =
        QString::fromUtf8(output).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    return lines.isEmpty() ? QString() : lines.last().trimmed();
}

} // namespace

QString OfficeEnding(TOfficeFormat format)
{
    return QLatin1Char('.') + QLatin1String(FormatKey(format));
}

QString DefaultOfficeHelper()
{
    const QString fromEnvironment = qEnvironmentVariable("VIDORA_OFFICE_HELPER");
    if (!fromEnvironment.isEmpty())
        return fromEnvironment;
    return QCoreApplication::applicationDirPath() + QStringLiteral("/vidora-office");
}

QString FindOfficeProgram()
{
    if (qEnvironmentVariableIsSet("VIDORA_OFFICE"))
        return qEnvironmentVariable("VIDORA_OFFICE");
    const QString installed = QStringLiteral("/usr/lib/libreoffice/program/soffice.bin");
    if (QFileInfo(installed).isExecutable())
        return installed;
    const QString onPath = QStandardPaths::findExecutable(QStringLiteral("soffice"));
    if (onPath.isEmpty())
        return QString();
    const QString beside = QFileInfo(QFileInfo(onPath).canonicalFilePath()).absolutePath() +
                           QStringLiteral("/soffice.bin");
    return QFileInfo(beside).isExecutable() ? beside : QString();
}

QString OfficeMissingMessage(const QString &officePath, TOfficeFormat format)
{
    const QString package = IsSpreadsheet(format) ? QStringLiteral("libreoffice-calc-nogui")
                                                  : QStringLiteral("libreoffice-writer-nogui");
    if (officePath.isEmpty() || !QFileInfo(officePath).isExecutable())
        return QStringLiteral("LibreOffice is not installed: install the package %1 "
                              "(or libreoffice-calc / libreoffice-writer) to export scene lists "
                              "to %2 files.")
            .arg(package, OfficeEnding(format));
    // Calc and Writer are parts of their own beside the office's core.
    const QString module =
        IsSpreadsheet(format) ? QStringLiteral("libsclo.so") : QStringLiteral("libswlo.so");
    if (!QFileInfo::exists(QFileInfo(officePath).absolutePath() + QLatin1Char('/') + module))
        return QStringLiteral("LibreOffice %1 is not installed: install the package %2 to "
                              "export scene lists to %3 files.")
            .arg(IsSpreadsheet(format) ? QStringLiteral("Calc") : QStringLiteral("Writer"), package,
                 OfficeEnding(format));
    return QString();
}

QString OfficeSheetName(const QString &videoName)
{
    QString name = ExtractFileBaseName(videoName);
    static const QString refused = QStringLiteral("[]*?:/\\");
    QString kept;
    for (QChar c : name)
        if (!refused.contains(c) && c.unicode() >= 32)
            kept += c;
    while (kept.startsWith(QLatin1Char('\'')))
        kept.remove(0, 1);
    while (kept.endsWith(QLatin1Char('\'')))
        kept.chop(1);
    kept = kept.left(31).trimmed();
    return kept.isEmpty() ? QStringLiteral("Scenes") : kept;
}

TOfficeExport::TOfficeExport(TOfficeFormat format, const QString &videoName, const QString &outName,
                             TOfficeSetup setup)
    : m_format(format), m_videoName(videoName), m_outName(outName), m_setup(std::move(setup))
{
    if (m_setup.helperPath.isEmpty())
        m_setup.helperPath = DefaultOfficeHelper();
    if (m_setup.officePath.isEmpty())
        m_setup.officePath = FindOfficeProgram();
}

TOfficeExport::~TOfficeExport() = default;

void TOfficeExport::AddScene(const TSceneClass &scene)
{
    Scene s{QString::number(scene.Number),
            scene.StartText,
            scene.EndText,
            scene.DurationText,
            scene.DatecodeText,
            scene.TimecodeText,
            scene.Title,
            scene.Subtitle,
            QString(),
            QImage()};
    // Only the documents show thumbnails.
    if (!IsSpreadsheet(m_format) && scene.Detailed && !scene.Thumbnail.isNull() &&
        m_work.isValid()) {
        s.picture = m_work.filePath(QStringLiteral("scene%1.png").arg(m_scenes.size() + 1));
        s.thumbnail = scene.Thumbnail;
    }
    m_scenes.push_back(std::move(s));
    if (m_scenes.size() - m_written >= kThumbnailBatch)
        WriteThumbnails();
}

void TOfficeExport::WriteThumbnails()
{
    // Encoding the pictures is the program's own share of an export's time:
    // a few threads share it, each writing files of its own.
    constexpr std::size_t kThreads = 4;
    const std::size_t from = m_written;
    const auto write = [this, from](std::size_t first) {
        for (std::size_t i = from + first; i < m_scenes.size(); i += kThreads) {
            Scene &s = m_scenes[i];
            // Little compression: the office stores the picture as it gets it.
            if (!s.picture.isEmpty() && !s.thumbnail.save(s.picture, "PNG", 80))
                s.picture.clear();
            s.thumbnail = QImage();
        }
    };
    std::vector<std::thread> threads;
    for (std::size_t t = 1; t < kThreads; ++t)
        threads.emplace_back(write, t);
    write(0);
    for (std::thread &thread : threads)
        thread.join();
    m_written = m_scenes.size();
}

bool TOfficeExport::Finish()
{
    if (!m_finished) {
        m_finished = true;
        m_ok = Run();
    }
    return m_ok;
}

bool TOfficeExport::Run()
{
    const QString missing = OfficeMissingMessage(m_setup.officePath, m_format);
    if (!missing.isEmpty()) {
        m_error = missing;
        return false;
    }
    if (!QFileInfo(m_setup.helperPath).isExecutable()) {
        m_error = QStringLiteral("The export program %1 is missing: reinstall Vidora with its "
                                 "office exports (built where the package libreoffice-dev is "
                                 "installed).")
                      .arg(m_setup.helperPath);
        return false;
    }
    if (!m_work.isValid()) {
        m_error =
            QStringLiteral("No temporary folder for the export: %1").arg(m_work.errorString());
        return false;
    }

    WriteThumbnails();
    const DateTimeValue now = FromQDateTime(m_setup.clock());
    QJsonArray scenes;
    for (const Scene &s : m_scenes)
        scenes.append(QJsonObject{{"number", s.number},
                                  {"start", s.start},
                                  {"end", s.end},
                                  {"duration", s.duration},
                                  {"datecode", s.datecode},
                                  {"timecode", s.timecode},
                                  {"title", s.title},
                                  {"subtitle", s.subtitle},
                                  {"picture", s.picture}});
    const QJsonObject job{
        {"format", QLatin1String(FormatKey(m_format))},
        {"video", m_videoName},
        {"output", QFileInfo(m_outName).absoluteFilePath()},
        {"office", m_setup.officePath},
        {"timeoutMs", m_setup.timeoutMs},
        {"appVersionText", m_setup.appVersionText},
        {"versionText", m_setup.versionText},
        {"language", m_setup.languageCode},
        {"exportDate", SafeFormat(QStringLiteral("dddddd \"at\" tt"), now, m_setup.locale)},
        {"terminatedAt", SafeFormat(QStringLiteral("dddddd 'at' hh:mm:ss"), now, m_setup.locale)},
        {"sheetName", OfficeSheetName(m_videoName)},
        {"title", QFileInfo(m_videoName).fileName()},
        {"scenes", scenes}};
    const QString jobPath = m_work.filePath(QStringLiteral("job.json"));
    QFile jobFile(jobPath);
    if (!jobFile.open(QIODevice::WriteOnly) ||
        jobFile.write(QJsonDocument(job).toJson(QJsonDocument::Compact)) < 0) {
        m_error = QStringLiteral("%1: %2").arg(jobPath, jobFile.errorString());
        return false;
    }
    jobFile.close();

    QProcess helper;
    helper.setProcessChannelMode(QProcess::SeparateChannels);
    helper.setStandardOutputFile(QProcess::nullDevice());
    helper.start(m_setup.helperPath, {jobPath});
    // The helper ends its office at its own time-out; this is the last resort.
    if (!helper.waitForStarted(10000)) {
        m_error = QStringLiteral("%1: %2").arg(m_setup.helperPath, helper.errorString());
        return false;
    }
    QDeadlineTimer deadline(m_setup.timeoutMs + 15000);
    while (!helper.waitForFinished(kAbortPollMs)) {
        if (helper.state() == QProcess::NotRunning)
            break;
        if (m_setup.aborted && m_setup.aborted()) {
            // The helper ends its office and removes what it was storing.
            helper.terminate();
            if (!helper.waitForFinished(5000)) {
                helper.kill();
                helper.waitForFinished(5000);
            }
            m_aborted = true;
            m_error = QStringLiteral("The export to %1 was aborted.").arg(m_outName);
            return false;
        }
        if (deadline.hasExpired()) {
            helper.kill();
            helper.waitForFinished(5000);
            m_error = QStringLiteral("The export to %1 did not finish in time.").arg(m_outName);
            return false;
        }
    }
    if (helper.exitStatus() != QProcess::NormalExit || helper.exitCode() != 0) {
        const QString reason = LastLine(helper.readAllStandardError());
        m_error = QStringLiteral("The export to %1 failed: %2")
                      .arg(m_outName, reason.isEmpty() ? helper.errorString() : reason);
        return false;
    }
    if (!QFileInfo::exists(m_outName)) {
        m_error = QStringLiteral("The export to %1 wrote no file.").arg(m_outName);
        return false;
    }
    return true;
}

} // namespace vidora
