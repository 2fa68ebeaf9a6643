#include "exportjob.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <stdexcept>

namespace vidora::office {

QString ExportJob::filterName() const
{
    if (format == "xls")
        return QStringLiteral("MS Excel 97");
    if (format == "doc")
        return QStringLiteral("MS Word 97");
    if (format == "ods")
        return QStringLiteral("calc8");
    return QStringLiteral("writer8");
}

QByteArray ExportJob::magic() const
{
    if (format == "xls" || format == "doc")
        return QByteArray::fromHex("D0CF11E0"); // compound document
    return QByteArrayLiteral("PK");             // zip package
}

ExportJob ReadJob(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw std::runtime_error(
            QStringLiteral("%1: %2").arg(path, file.errorString()).toStdString());
    QJsonParseError parseError;
    const QJsonDocument doc = QJsonDocument::fromJson(file.readAll(), &parseError);
    if (!doc.isObject())
        throw std::runtime_error(
            QStringLiteral("%1: %2").arg(path, parseError.errorString()).toStdString());
    const QJsonObject o = doc.object();
    ExportJob job;
    job.format = o.value("format").toString();
    job.video = o.value("video").toString();
    job.output = o.value("output").toString();
    job.office = o.value("office").toString();
    job.timeoutMs = o.value("timeoutMs").toInt(job.timeoutMs);
    job.appVersionText = o.value("appVersionText").toString();
    job.versionText = o.value("versionText").toString();
    job.language = o.value("language").toString();
    job.exportDate = o.value("exportDate").toString();
    job.terminatedAt = o.value("terminatedAt").toString();
    job.sheetName = o.value("sheetName").toString();
    job.title = o.value("title").toString();
    if (!QStringList{"xls", "doc", "ods", "odt"}.contains(job.format) || job.output.isEmpty() ||
        job.office.isEmpty())
        throw std::runtime_error(QStringLiteral("%1: not an export job").arg(path).toStdString());
    for (const QJsonValue &v : o.value("scenes").toArray()) {
        const QJsonObject s = v.toObject();
        job.scenes.push_back(JobScene{
            s.value("number").toString(), s.value("start").toString(), s.value("end").toString(),
            s.value("duration").toString(), s.value("datecode").toString(),
            s.value("timecode").toString(), s.value("title").toString(),
            s.value("subtitle").toString(), s.value("picture").toString()});
    }
    return job;
}

} // namespace vidora::office
