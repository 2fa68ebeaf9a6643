#include "scenes/scnlisting.h"

#include "formats/datetime.h"
#include "scenes/scenefile.h"
#include "settings/settings.h"

namespace vidora {
namespace {

const QString kDashLine = QStringLiteral("//") + QString(50, QLatin1Char('-'));

} // namespace

TWriteScn_text::TWriteScn_text(const QString &videoName, const TListingTexts &texts,
                               const QString &outName)
    : TwriteFile(outName.isEmpty() ? CompanionFileName(videoName, QStringLiteral("_scn.txt"))
                                   : outName),
      m_texts(texts)
{
    WriteLine(kDashLine);
    WriteLine(QStringLiteral("// List of scenes of the video file:"));
    WriteLine(QStringLiteral("//"));
    WriteLine(QStringLiteral("// ***   ") + videoName.toLower() + QStringLiteral("   ***"));
    WriteLine(QStringLiteral("//"));
    WriteLine(QStringLiteral("// exported by %1 version %2 %3")
                  .arg(kProgramName, m_texts.versionText, m_texts.languageCode));
    WriteLine(QStringLiteral("// with format:"));
    WriteLine(QStringLiteral("// scene number, start, end, duration, datecode, timecode, caption"));
    WriteLine(QStringLiteral("//"));
    WriteLine(kDashLine);
    WriteLine(QString());
}

TWriteScn_text::~TWriteScn_text()
{
    if (std::uncaught_exceptions() > m_uncaught) {
        Discard();
        return;
    }
    Finish();
}

void TWriteScn_text::AddScene(const TSceneClass &scene)
{
    ++m_counter;
    QString line = QStringLiteral("  ") + QString::number(m_counter);
    for (const QString *text :
         {&scene.StartText, &scene.EndText, &scene.DurationText, &scene.DatecodeText,
          &scene.TimecodeText, &scene.Title, &scene.Subtitle})
        line += QStringLiteral(", ") + *text;
    WriteLine(line);
}

bool TWriteScn_text::Finish()
{
    if (!m_finished) {
        m_finished = true;
        QString now;
        try {
            now = FormatDateTime(QStringLiteral("dddddd 'at' hh:mm:ss"),
                                 FromQDateTime(m_texts.clock()), m_texts.locale);
        } catch (const std::exception &) {
        }
        WriteLine(QString());
        WriteLine(kDashLine);
        WriteLine(QStringLiteral("// Terminated at ") + now);
        WriteLine(QStringLiteral("//"));
    }
    return Close();
}

} // namespace vidora
