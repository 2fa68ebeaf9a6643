// The readers of what a person hands the program, under hostile input: the
// ".scn" reader, scripts and the command line, playlists, the settings file
// and the AVI analyser each read a few hundred mutants of a sound input
// (seeded, so every run reads the same ones), then a FIFO nobody writes, a
// link to /dev/zero and a file past the reader's limit. Each case has a time
// limit (a hang ends the program), and the sanitizers watch every read. This
// test program links every library that holds one of those readers.
#include "files/fichierlistmodel.h"
#include "files/listfichier.h"
#include "files/threadopen.h"
#include "formats/riffanalysis.h"
#include "scenes/scenefile.h"
#include "settings/inifile.h"
#include "settings/inputfiles.h"
#include "settings/scripts.h"
#include "settings/settings.h"
#include "settings/textcodec.h"
#include "support/isolatedhome.h"
#include "support/media_hang_guard.h"
#include "support/riffbuilder.h"
#include "support/testactions.h"
#include "support/tools.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QRegularExpression>
#include <QStringEncoder>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <array>
#include <chrono>
#include <functional>
#include <random>

namespace vidora {
namespace {

using namespace std::chrono_literals;
using test::buildAvi;
using test::dvType1Layout;
using test::dvType2Layout;
using test::openDmlLayout;
using test::RiffBuilder;

constexpr int kMutants = 300;
// Much more than any case takes, even on a loaded machine under the
// sanitizers; a reader that blocks or reads without end passes it.
constexpr auto kCaseLimit = 20s;

// Byte-level mutations of a seed, drawn from a seeded generator: bit flips,
// bytes and 32-bit values set (limits, zero, all ones), ranges inserted,
// removed, repeated and cut, and tokens that mean something to text readers
// (line breaks, "=", quotes, byte-order marks, zero bytes).
class Mutator
{
public:
    explicit Mutator(std::uint32_t seed) : m_random(seed) {}

    QByteArray Mutate(QByteArray bytes)
    {
        const int steps = Below(4) + 1;
        for (int i = 0; i < steps; ++i)
            Step(bytes);
        return bytes;
    }

private:
    int Below(qsizetype n) { return n <= 0 ? 0 : int(m_random() % std::uint32_t(n)); }
    qsizetype Position(const QByteArray &bytes) { return Below(bytes.size() + 1); }

    void Step(QByteArray &bytes)
    {
        static const std::array<quint32, 8> kValues = {
            0, 0xFFFFFFFFu, 0x7FFFFFFFu, 0x80000000u, 0xFFFFu, 0x8000u, 1, 0xFFFFFFFEu};
        static const std::array<QByteArray, 12> kTokens = {
            QByteArray("\r\n"),     QByteArray("="),
            QByteArray("\""),       QByteArray("\xFF\xFE"),
            QByteArray("\xFE\xFF"), QByteArray("\xEF\xBB\xBF"),
            QByteArray(1, '\0'),    QByteArray("\xFF\xFE\xFF\xFF\xFF\xFF"),
            QByteArray("+os="),     QByteArray("quit\r\n"),
            QByteArray("["),        QByteArray(300, 'a')};
        const qsizetype at = Position(bytes);
        switch (Below(8)) {
        case 0:
            if (!bytes.isEmpty()) {
                const qsizetype i = Below(bytes.size());
                bytes[i] = char(bytes[i] ^ (1 << Below(8)));
            }
            break;
        case 1:
            if (!bytes.isEmpty())
                bytes[Below(bytes.size())] = char(Below(256));
            break;
        case 2: {
            const quint32 v = kValues[std::size_t(Below(kValues.size()))];
            const char le[4] = {char(v), char(v >> 8), char(v >> 16), char(v >> 24)};
            bytes.replace(at, std::min<qsizetype>(4, bytes.size() - at), le, 4);
            break;
        }
        case 3: {
            QByteArray random(Below(16) + 1, '\0');
            for (char &c : random)
                c = char(Below(256));
            bytes.insert(at, random);
            break;
        }
        case 4:
            bytes.remove(at, Below(64) + 1);
            break;
        case 5: {
            const QByteArray slice = bytes.mid(Position(bytes), Below(128) + 1);
            bytes.insert(Position(bytes), slice.repeated(Below(3) + 1));
            break;
        }
        case 6:
            bytes.truncate(at);
            break;
        default:
            bytes.insert(at, kTokens[std::size_t(Below(kTokens.size()))]);
            break;
        }
    }

    std::mt19937 m_random;
};

// Runs `read` on every mutant of every seed, each within the time limit; the
// readers' messages about what they refused go to a captured error stream.
void ForEachMutant(const char *reader, std::uint32_t seed, const std::vector<QByteArray> &seeds,
                   const std::function<void(const QByteArray &)> &read)
{
    Mutator mutator(seed);
    ::testing::internal::CaptureStderr();
    for (int i = 0; i < kMutants; ++i) {
        const QByteArray &sound = seeds[std::size_t(i) % seeds.size()];
        const QByteArray mutant = mutator.Mutate(sound);
        const test::HangGuard guard(kCaseLimit,
                                    std::string(reader) + " mutant " + std::to_string(i));
        read(mutant);
    }
    ::testing::internal::GetCapturedStderr();
}

// A FIFO, a link to /dev/zero and a file past `limit`, each read within the
// time limit; `read` returns whether the reader took the file.
void ForEachHostileFile(const QString &folder, const char *reader, const QString &suffix,
                        qint64 limit, const std::function<bool(const QString &)> &read)
{
    const test::HostileFiles files = test::makeHostileFiles(folder, suffix, limit + 1);
    ::testing::internal::CaptureStderr();
    for (const QString &path : {files.fifo, files.deviceLink, files.huge}) {
        SCOPED_TRACE(path.toStdString());
        QElapsedTimer clock;
        clock.start();
        {
            const test::HangGuard guard(kCaseLimit, std::string(reader) + " " + path.toStdString());
            EXPECT_FALSE(read(path)) << reader << " took " << path.toStdString();
        }
        EXPECT_LT(clock.elapsed(), 5000) << reader;
    }
    ::testing::internal::GetCapturedStderr();
}

class ReadersUnderMutation : public ::testing::Test
{
protected:
    QString Write(const QString &name, const QByteArray &bytes)
    {
        const QString path = dir.filePath(name);
        test::writeFileBytes(path, bytes);
        return path;
    }

    QTemporaryDir dir;
};

TEST_F(ReadersUnderMutation, SceneFiles)
{
    std::vector<QByteArray> seeds;
    for (const int count : {1, 3, 12}) {
        TwriteScene writer(dir.filePath(QStringLiteral("clip.avi")));
        for (int i = 0; i < count; ++i) {
            TSceneClass scene(std::uint32_t(i * 100), std::uint32_t(i * 100 + 99), TSceneContext{});
            scene.ThumbOffset = std::uint32_t(i % 2 * 7);
            scene.Title = i % 3 == 0 ? QString(300, u'é') : QStringLiteral("title %1").arg(i);
            scene.Subtitle = QStringLiteral("sub");
            writer.AddScene(scene);
        }
        seeds.push_back(writer.Bytes());
        writer.Discard();
    }
    const QString scn = dir.filePath(QStringLiteral("clip.scn"));
    ForEachMutant("scn", 101, seeds, [&](const QByteArray &bytes) {
        TSceneList fromBytes;
        TSceneList fromFile;
        test::writeFileBytes(scn, bytes);
        const bool read = LoadScnBytes(bytes, fromBytes, TSceneContext{});
        EXPECT_EQ(LoadScnFile(scn, fromFile, TSceneContext{}), read);
        EXPECT_EQ(fromFile.size(), fromBytes.size());
    });
    ForEachHostileFile(dir.path(), "scn", QStringLiteral(".scn"), kMaxScnFileBytes,
                       [](const QString &path) {
                           TSceneList list;
                           return LoadScnFile(path, list, TSceneContext{});
                       });
}

// A few actions shaped like the main window's, one of which runs scripts.
class ScriptActions
{
public:
    ScriptActions()
    {
        auto plain = [this](const char *name, const char *switchName, const char *token) {
            TSuperAction *action =
                test::MakeSuperAction(&owner, QString::fromLatin1(name), QString(), QString(),
                                      QString::fromLatin1(switchName), QString::fromLatin1(token));
            action->Onexecute = [this](QObject *) { ++executed; };
            list << action;
            return action;
        };
        plain("saOuvrirFichiers", "o", "openfiles");
        plain("ccCreerScnByIntervalle", "ci", "createscnbyinterval");
        TSuperAction *openScript = plain("saOuvrirScript", "os", "openscript");
        openScript->Onexecute = [this](QObject *) {
            ++executed;
            if (!ActionParams.isEmpty())
                script.ExecuteFile(ActionParams.first());
        };
        auto *inlay = new TtoggleAction(&owner);
        inlay->setSwitch(QStringLiteral("di"));
        inlay->setToken(QStringLiteral("displayinlay"));
        inlay->OnfalseExecute = [this, inlay](QObject *) {
            ++executed;
            inlay->SetChecked(true);
        };
        inlay->OnTrueExecute = [this, inlay](QObject *) {
            ++executed;
            inlay->SetChecked(false);
        };
        list << inlay;
        script.actionlist = list;
        commandLine.actionlist = list;
        commandLine.DefaultAction = qobject_cast<TCustomSuperAction *>(list.first());
    }

    QObject owner;
    QList<QAction *> list;
    TScript script;
    TSwitch commandLine;
    int executed = 0;
};

TEST_F(ReadersUnderMutation, ScriptsAndTheCommandLine)
{
    ScriptActions actions;
    ScriptWaiting = false;
    // The seed runs a script that exists: mutants may name it, or themselves.
    const QString other = Write(QStringLiteral("other.txt"), "+di\r\nci=30\r\n");
    const QString self = dir.filePath(QStringLiteral("script.txt"));
    const QByteArray text = ("openfiles=\"/home/u/Vidéos/a.avi\"\r\n+di\r\n-di\r\n/di\r\n"
                             "displayinlay=toggle\r\nci=60\r\nos=" +
                             other + "\r\nos=" + self + "\r\n  o=b.avi  \r\nquit\r\n")
                                .toUtf8();
    QStringEncoder utf16(QStringConverter::Utf16LE, QStringConverter::Flag::WriteBom);
    const std::vector<QByteArray> seeds = {text, QByteArray(utf16.encode(QString::fromUtf8(text)))};
    ForEachMutant("script", 202, seeds, [&](const QByteArray &bytes) {
        test::writeFileBytes(self, bytes);
        actions.script.ExecuteFile(self);
        EXPECT_EQ(actions.script.Entries().Count(), 0);
        // The same text as a command line, one argument per line.
        const std::optional<QString> decoded = DecodeTextFile(bytes);
        actions.commandLine.ParseArguments(
            decoded ? decoded->split(QRegularExpression(QStringLiteral("[\r\n]+")))
                    : QStringList{QString::fromLatin1(bytes)});
        actions.commandLine.Run();
    });
    EXPECT_GT(actions.executed, kMutants);
    ForEachHostileFile(dir.path(), "script", QStringLiteral(".txt"), kMaxScriptBytes,
                       [&](const QString &path) { return actions.script.ExecuteFile(path); });
}

TEST_F(ReadersUnderMutation, PlayLists)
{
    const QDir folder(dir.path());
    ASSERT_TRUE(folder.mkpath(QStringLiteral("vidéos")));
    const QByteArray text =
        ("# Playlist of Vidora\r\n\r\n   " + folder.filePath("a.avi") + "  \r\nvidéos\\b.avi\r\n" +
         folder.filePath("vidéos/*.*") + "\r\n../x.avi\r\n\r\n")
            .toUtf8();
    QStringEncoder utf16(QStringConverter::Utf16LE, QStringConverter::Flag::WriteBom);
    const std::vector<QByteArray> seeds = {text, QByteArray(utf16.encode(QString::fromUtf8(text)))};
    ForEachMutant("playlist", 303, seeds, [&](const QByteArray &bytes) {
        if (const std::optional<QString> decoded = DecodeTextFile(bytes)) {
            for (const QString &path : PlayListPaths(*decoded, dir.path()))
                EXPECT_FALSE(path.isEmpty());
        }
    });

    // The opener itself: nothing is listed, and the opening ends.
    TFichierListModel model;
    model.SetFichierClass([](const QString &found, const QFileInfo &info) {
        return TSRFichier::CreateFromSearchRec(found, info);
    });
    int count = -1;
    QObject::connect(&model, &TFichierListModel::openEnd, [&](int c) { count = c; });
    ForEachHostileFile(dir.path(), "playlist opener", QStringLiteral(".txt"), 64 * 1024 * 1024,
                       [&](const QString &path) {
                           count = -1;
                           model.OpenPlayList(path);
                           QElapsedTimer clock;
                           clock.start();
                           while (count < 0 && clock.elapsed() < 10000)
                               QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
                           EXPECT_EQ(count, 0);
                           return model.Count() > 0;
                       });
}

TEST_F(ReadersUnderMutation, TheSettingsFile)
{
    test::IsolatedHome home;
    ASSERT_TRUE(home.isValid());
    SettingsEnvironment environment;
    environment.programFolder = dir.path() + QStringLiteral("/");
    environment.programFilePath = environment.programFolder + QStringLiteral("vidora");
    environment.registryFolder = home.configHome() + QStringLiteral("/Vesk Tobrek");
    environment.screenSize = QSize(1920, 1080);
    {
        Settings settings(environment);
        settings.LoadPreferences();
        settings.PreferencesMode = kPreferencesPortable;
        settings.SavePreferences();
    }
    const QByteArray sound = test::readFileBytes(environment.iniFilePath());
    ASSERT_FALSE(sound.isEmpty());
    ForEachMutant("settings file", 404, {sound}, [&](const QByteArray &bytes) {
        test::writeFileBytes(environment.iniFilePath(), bytes);
        Settings settings(environment);
        settings.LoadPreferences();
    });
    ForEachHostileFile(dir.path(), "settings file", QStringLiteral(".ini"), kMaxIniFileBytes,
                       [](const QString &path) { return LoadIniLines(path).ok; });
}

TEST_F(ReadersUnderMutation, TheAviAnalyser)
{
    const std::vector<QByteArray> seeds = {buildAvi(dvType1Layout()).bytes,
                                           buildAvi(dvType2Layout()).bytes,
                                           buildAvi(openDmlLayout()).bytes};
    TRiffAnalysisContext context;
    context.programName = QStringLiteral("Vidora");
    const QString avi = dir.filePath(QStringLiteral("clip.avi"));
    ForEachMutant("analyser", 505, seeds, [&](const QByteArray &bytes) {
        test::writeFileBytes(avi, bytes);
        const TRiffAnalysis report = AnalyseAviFile(avi, context);
        EXPECT_FALSE(report.lines.isEmpty());
        EXPECT_LE(report.lines.size(), kRiffAnalysisMaxLines + 20);
    });

    // A FIFO and a device are no file to analyse; a form holding 256 MiB
    // of zeros (a hole: no disk taken) is analysed in a moment.
    const test::HostileFiles files = test::makeHostileFiles(dir.path(), QStringLiteral(".avi"), 0);
    for (const QString &path : {files.fifo, files.deviceLink}) {
        const test::HangGuard guard(kCaseLimit, "analyser " + path.toStdString());
        EXPECT_TRUE(AnalyseAviFile(path, context).lines.isEmpty());
    }
    {
        QFile file(files.huge);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        RiffBuilder b(file);
        auto form = b.list("RIFF", "AVI ");
        auto list = b.list("LIST", "hdrl");
        b.skip(qint64(256) << 20);
        b.finish();
    }
    const test::HangGuard guard(kCaseLimit, "analyser " + files.huge.toStdString());
    const TRiffAnalysis report = AnalyseAviFile(files.huge, context);
    EXPECT_LT(report.lines.size(), 40);
    EXPECT_EQ(report.lines.filter(QStringLiteral("empty or invalid chunks in a row")).size(), 1);
}

} // namespace
} // namespace vidora
