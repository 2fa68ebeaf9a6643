// The commands that change files in place: renames with their companions,
// the codec and frame-rate patches, the file date; and the time-shift
// command's output names and dates.
#include "dmaction_stage.h"
#include <cctype>

#include "formats/aviinfo.h"
#include "formats/fpsunit.h"

namespace vidora::test {
namespace {

const DvSource kPal{2, false, false, true};

// The permission bits the file system stores (Qt adds the running user's
// access as "User" flags).
QFileDevice::Permissions StoredBits(const QString &path)
{
    return QFile::permissions(path) &
           ~(QFileDevice::ReadUser | QFileDevice::WriteUser | QFileDevice::ExeUser);
}

// Answers Yes, after running `beforeAnswer` (which may change the disk
// between the question and the step).
class HookedQuestions : public IEngineQuestions
{
public:
    TModalResult Confirm(const QString &text, bool) override
    {
        texts << text;
        if (beforeAnswer)
            beforeAnswer();
        return TModalResult::mrYes;
    }
    QStringList texts;
    std::function<void()> beforeAnswer;
};

class DmActionFiles : public DmActionStage
{
protected:
    DmActionFiles() { engine.Questions = &answers; }

    HookedQuestions answers;
};

TEST_F(DmActionFiles, AddingTheDatecodeRenamesTheVideoThenItsCompanions)
{
    const auto entry = AddSource(kPal);
    writeFileBytes(Path("t2pal43.scn"), "scn");
    writeFileBytes(Path("t2pal43.srt"), "srt");
    ASSERT_TRUE(Run("AjouterDatecode"));
    EXPECT_TRUE(Errors().empty());
    const QString renamed = "t2pal43_2005.06.07_08.09.10_am";
    EXPECT_EQ(source.Names(), QStringList{renamed + ".avi"});
    EXPECT_EQ(entry->Path(), Path(renamed + ".avi"));
    EXPECT_EQ(readFileBytes(Path(renamed + ".scn")), "scn");
    EXPECT_EQ(readFileBytes(Path(renamed + ".srt")), "srt");
    EXPECT_EQ(answers.texts.value(0),
              "Do you want to rename t2pal43.avi to " + Path(renamed + ".avi") + " ?");
    EXPECT_EQ(QDir(m_dir.path()).entryList(QDir::Files).size(), 3);
}

TEST_F(DmActionFiles, ANameThatIsTakenGetsTheFirstFreeNumber)
{
    AddSource(kPal);
    writeFileBytes(Path("t2pal43_01.02.03.04.avi"), "taken");
    settings.FormatAddTimecode = "unused";
    ASSERT_TRUE(Run("AjouterTimecode"));
    EXPECT_EQ(source.Names(), QStringList{"t2pal43_01.02.03.04_1.avi"});
    EXPECT_EQ(readFileBytes(Path("t2pal43_01.02.03.04.avi")), "taken");
}

struct TemplateCase
{
    const char *pattern;
    const char *dateFormat;
    const char *expected;
};

TEST_F(DmActionFiles, TemplatesMakeNamesWithoutSeparatorsOrColons)
{
    const auto entry = AddSource(kPal);
    entry->SetTimeOffset(1.0 / 24, "1 hours");
    const TemplateCase cases[] = {
        {"%F_%D%E", "hh:nn:ss", "t2pal43_09.09.10.avi"},
        {"a/b\\c<d>e|f\"g%f%e", "yyyy", "a_b_c_d_e_f_gt2pal43.avi"},
        {"%C %I %A %U.avi", "yyyy", "dvsd 720 x 576 (Pal 4x3) 48000Hz 16 bits  stereo 3fr.avi"},
        {"%T_%d_%x.avi", "yyyy-mm-dd", "01.02.03.04_2005-06-07_%x.avi"},
    };
    for (const TemplateCase &c : cases)
        EXPECT_EQ(ExpandRenamePattern(c.pattern, c.dateFormat, *entry).toStdString(),
                  Path(c.expected).toStdString());
}

TEST_F(DmActionFiles, ARefusedRenameChangesNothing)
{
    const auto entry = AddSource(kPal);
    writeFileBytes(Path("t2pal43.scn"), "scn");
    settings.RenameTemplate = "new%E";
    // The destination appears between the question and the rename.
    answers.beforeAnswer = [this] { writeFileBytes(Path("new.avi"), "someone else's"); };
    ASSERT_TRUE(Run("Renommer"));
    ASSERT_EQ(Errors().size(), 1u);
    // The command's text, then the reason on a line of its own.
    EXPECT_EQ(Errors().front(),
              "error An error occured while renaming " + Path("t2pal43.avi").toStdString() +
                  "\nCannot rename " + Path("t2pal43.avi").toStdString() + " to " +
                  Path("new.avi").toStdString() + ": Destination file exists etError");
    EXPECT_EQ(source.Names(), QStringList{"t2pal43.avi"});
    EXPECT_EQ(readFileBytes(Path("new.avi")), "someone else's");
    EXPECT_TRUE(QFileInfo::exists(Path("t2pal43.avi")));
    EXPECT_EQ(readFileBytes(Path("t2pal43.scn")), "scn");
    EXPECT_FALSE(QFileInfo::exists(Path("new.scn")));
}

struct PurgeCase
{
    const char *path; // in the test folder
    const char *expected;
    bool removable;
};

TEST_F(DmActionFiles, PurgingStripsTheProgramsOwnEndingsFromTheNameOnly)
{
    writeFileBytes(Path("taken.avi"), "x");
    QDir(m_dir.path()).mkpath("take_1");
    const PurgeCase cases[] = {
        {"clip_type2_16x9.avi", "clip.avi", true},
        {"clip_2007.avi", "clip.avi", true},
        {"clip_(+1days12h).avi", "clip.avi", true},
        {"clip_in_NTSC_pm.avi", "clip.avi", true},
        {"clip_12h.avi", "clip.avi", true},
        {"clip_final.avi", "clip_final_1.avi", false},
        {"taken_type1.avi", "taken_1.avi", true},
        // Only the name is stripped: the folder's "_1" stays.
        {"take_1/2007_ntsc.avi", "take_1/2007.avi", true},
    };
    for (const PurgeCase &c : cases) {
        writeFileBytes(Path(c.path), "x");
        EXPECT_EQ(PurgerNomDestination(Path(c.path)), Path(c.expected)) << c.path;
        EXPECT_EQ(HasRemovableEnding(Path(c.path)), c.removable) << c.path;
        QFile::remove(Path(c.path));
    }
}

TEST_F(DmActionFiles, TheCodecIsPatchedAfterThePreviewLetGoAndAReadOnlyFileStaysReadOnly)
{
    const auto entry = AddSource(kPal);
    const QString path = entry->Path();
    const QByteArray original = readFileBytes(path);
    const auto readOnly = QFileDevice::ReadOwner | QFileDevice::ReadGroup;
    ASSERT_TRUE(QFile::setPermissions(path, readOnly));
    preview.loaded = path;
    ASSERT_TRUE(Run("ModifierCodec", {"CDVC"}));
    EXPECT_TRUE(Errors().empty());
    EXPECT_EQ(preview.closes, 1);
    EXPECT_TRUE(preview.closedWith == original) << "released before the patch";
    EXPECT_EQ(StoredBits(path), readOnly);
    EXPECT_EQ(ProbeStream(path, "v:0", "codec_tag_string"), "CDVC");
    EXPECT_EQ(fourCCBytesText(ReadAviCodec(path)), "CDVC");
    EXPECT_EQ(answers.texts.value(0),
              "Do you want to change the codec \"dvsd\" from t2pal43.avi to \"CDVC\" ?");
    const auto reloaded = std::dynamic_pointer_cast<TaviFichier>(source.Entries().front());
    EXPECT_EQ(reloaded->Data().codec, "CDVC") << "the entry is read again";

    // Two characters are padded with blanks; a control character is refused.
    ASSERT_TRUE(Run("ModifierCodec", {"ab"}));
    EXPECT_EQ(fourCCBytesText(ReadAviCodec(path)), "ab  ");
    const QByteArray patched = readFileBytes(path);
    ASSERT_TRUE(Run("ModifierCodec", {QString(QChar(1))}));
    EXPECT_EQ(Errors().size(), 1u);
    EXPECT_TRUE(readFileBytes(path) == patched);
    EXPECT_EQ(StoredBits(path), readOnly);
}

TEST_F(DmActionFiles, TheFrameRateIsReadInTheUsersLocaleAndChecked)
{
    const auto entry = AddSource(kPal);
    const QString path = entry->Path();
    preview.loaded = path;
    const QLocale saved;
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    const bool ran = Run("FrequenceVideo", {"12,5"});
    QLocale::setDefault(saved);
    ASSERT_TRUE(ran);
    EXPECT_TRUE(Errors().empty());
    EXPECT_EQ(preview.closes, 1);
    EXPECT_EQ(ProbeStream(path, "v:0", "r_frame_rate"), "25/2");
    EXPECT_EQ(answers.texts.value(0),
              "Do you want to change the frequency 25 from  t2pal43.avi to 12,5 ?");

    const QByteArray before = readFileBytes(path);
    for (const char *refused : {"0", "-25", "abc"}) {
        ASSERT_TRUE(Run("FrequenceVideo", {refused}));
        EXPECT_TRUE(readFileBytes(path) == before) << refused;
    }
    EXPECT_EQ(Errors().size(), 3u);
}

TEST_F(DmActionFiles, TheFileDateIsTheRecordingDatePlusTheOffset)
{
    const auto entry = AddSource(kPal);
    entry->SetTimeOffset(1.0 / 24, "1 hours");
    preview.loaded = entry->Path();
    ASSERT_TRUE(Run("DateFichier"));
    EXPECT_TRUE(Errors().empty());
    EXPECT_EQ(preview.closes, 1);
    EXPECT_EQ(QFileInfo(Path("t2pal43.avi")).lastModified(),
              QDateTime(QDate(2005, 6, 7), QTime(9, 9, 10)));
    const QString question = answers.texts.value(0);
    EXPECT_TRUE(question.startsWith("Do you really want to modify the dates of the file '" +
                                    Path("t2pal43.avi") + "'\n\nOld creation date: "))
        << question.toStdString();
    EXPECT_TRUE(question.contains("\nOld modified date:  "));
    EXPECT_TRUE(question.endsWith(
        "\nNew date : " +
        FormatDateTime("ddddd tt", EncodeDateTime({{2005, 6, 7}, {9, 9, 10, 0}}))));
}

TEST(DmActionOffsetEnding, NamesTheShiftInDaysHoursMinutesAndSeconds)
{
    const struct
    {
        double offset;
        const char *ending;
    } cases[] = {
        {1.5, "_(+1days12h).avi"},
        {-0.25, "_(-6h).avi"},
        {0, "_(+).avi"},
        {-1.0 / 24, "_(-1h).avi"},
        {2 + 1.0 / 1440 + 5.0 / 86400, "_(+2days1mn5S).avi"},
    };
    for (const auto &c : cases)
        EXPECT_EQ(OffsetEnding(c.offset), c.ending) << c.offset;
}

struct ShiftCase
{
    const char *param;
    const char *ending;
    const char *date; // mediainfo's recorded date of the output
};

class DmActionShift : public DmActionStage, public testing::WithParamInterface<ShiftCase>
{};

TEST_P(DmActionShift, WritesTheShiftedDatesUnderTheOffsetEnding)
{
    const ShiftCase &c = GetParam();
    AddSource(kPal);
    ASSERT_TRUE(Run("DecalerHoraire", {c.param}));
    EXPECT_TRUE(Errors().empty());
    const QString out = Path(QString("t2pal43") + c.ending);
    ASSERT_TRUE(QFileInfo::exists(out)) << out.toStdString();
    EXPECT_EQ(MediaInfoDate(out).toStdString(), c.date);
    EXPECT_EQ(dest.Names(), QStringList{QFileInfo(out).fileName()});
}

INSTANTIATE_TEST_SUITE_P(
    Offsets, DmActionShift,
    testing::Values(ShiftCase{"1.5", "_(+1days12h).avi", "2005-06-08 20:09:10.000"},
                    ShiftCase{"-0.25", "_(-6h).avi", "2005-06-07 02:09:10.000"},
                    ShiftCase{"0", "_(+).avi", "2005-06-07 08:09:10.000"},
                    ShiftCase{"abc", "_(+).avi", "2005-06-07 08:09:10.000"}),
    // Names from the offset text: the default would print the case's addresses,
    // which differ between the run that lists the tests and the one that runs them.
    [](const testing::TestParamInfo<ShiftCase> &caseInfo) {
        std::string name = "Offset";
        for (const char *p = caseInfo.param.param; *p; ++p)
            name += std::isalnum(static_cast<unsigned char>(*p)) ? *p : '_';
        return name;
    });

} // namespace
} // namespace vidora::test

namespace vidora::test {
namespace {

class DmActionHeaderOptions : public DmActionStage
{};

// Each video command sets every option of the DV header filter: nothing of
// the previous command's shift or aspect reaches the next output.
TEST_F(DmActionHeaderOptions, NoOptionIsLeftOverFromThePreviousCommand)
{
    AddSource(kPal);
    ASSERT_TRUE(Run("DecalerHoraire", {"1.5"}));
    ASSERT_TRUE(Run("Convertir16x9"));
    ASSERT_TRUE(Run("DecalerHoraire", {"0"}));
    EXPECT_TRUE(Errors().empty());
    EXPECT_EQ(MediaInfoDate(Path("t2pal43_16x9.avi")).toStdString(), "2005-06-07 08:09:10.000")
        << "the shift of the command before";
    EXPECT_EQ(ProbeStream(Path("t2pal43_(+).avi"), "v:0", "display_aspect_ratio"), "4:3")
        << "the aspect of the command before";
    EXPECT_EQ(ProbeStream(Path("t2pal43_16x9.avi"), "v:0", "display_aspect_ratio"), "16:9");
}

} // namespace
} // namespace vidora::test
