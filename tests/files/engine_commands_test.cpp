// The command kinds apart from a run: message formatting, defaults of the
// steps, and finding commands by name.
#include "support/engine_fixture.h"

namespace vidora::test {
namespace {

TEST(CommandText, FormatsFileAndPassInAnyOrder)
{
    struct Case
    {
        QString format;
        QString expected;
    };
    const Case cases[] = {
        {"Converting %s", "Converting a.avi"},
        {"Pass %d of %s", "Pass 2 of a.avi"},
        {"%s %s", "a.avi a.avi"},
        {"100%% done", "100% done"},
        {"%x and a trailing %", "%x and a trailing %"},
        {"", ""},
    };
    for (const Case &row : cases)
        EXPECT_EQ(FormatCmdText(row.format, "a.avi", 2), row.expected) << row.format.toStdString();
}

TEST(CommandDefaults, UnsetHandlersGiveTheStatedDefaults)
{
    TCommandEngine ce;
    const auto entry = std::make_shared<FakeEntry>("/v/a.avi");
    tCustomCmd custom;
    bool visible = false;
    bool enabled = false;
    custom.FileCondition(entry, visible, enabled);
    EXPECT_TRUE(visible);
    EXPECT_TRUE(enabled);
    EXPECT_TRUE(custom.CommandCondition(ce));
    EXPECT_TRUE(custom.CommandConfirmation(ce));
    EXPECT_TRUE(custom.FileVerification(entry, {}, 1, ce));
    EXPECT_EQ(custom.FileConfirmation(entry, {}, 1, ce), TModalResult::mrYesToAll);
    EXPECT_EQ(custom.NbPasses, 0);
    EXPECT_EQ(custom.Nombre, TcmdNombre::fnNone);
    EXPECT_EQ(custom.UpdateFile, TUpdateFile::ufNone);
    EXPECT_TRUE(custom.StartMessage.isEmpty());

    // Without a destination handler a command keeps its destination and
    // needs no question.
    Tcmd plain;
    EXPECT_TRUE(plain.FileVerification(entry, {}, 1, ce));
    EXPECT_TRUE(plain.Destination().isEmpty());

    // A handler that hides the command for an entry.
    custom.OnFileCondition = [](const EngineEntryPtr &, bool &v, bool &) { v = false; };
    custom.FileCondition(entry, visible, enabled);
    EXPECT_FALSE(visible);
    EXPECT_TRUE(enabled);
}

TEST(CommandDefaults, WithoutQuestionsEveryQuestionIsAnsweredNo)
{
    TCommandEngine ce;
    QTemporaryDir dir;
    const QString existing = dir.filePath("a.out");
    QFile file(existing);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    Tcmd command;
    command.OnDestination = [&](const EngineEntryPtr &, const QStringList &, int) {
        return existing;
    };
    const auto entry = std::make_shared<FakeEntry>(dir.filePath("a.avi"));
    EXPECT_FALSE(command.FileVerification(entry, {}, 1, ce));
    EXPECT_EQ(command.Destination(), existing);
    EXPECT_EQ(command.FileConfirmation(entry, {}, 1, ce), TModalResult::mrNo);
}

TEST(CommandList, FindsCommandsByNameWithoutRegardToCase)
{
    TcmdList list;
    auto first = std::make_unique<TFastcmd>();
    first->Name = "ConvertirDV1";
    auto second = std::make_unique<TGraphCmd>();
    second->Name = "Quillmark";
    tAbstractCmd &added = list.Add(std::move(first));
    list.Add(std::move(second));
    EXPECT_EQ(list.Count(), 2);
    EXPECT_EQ(list.Find("convertirdv1"), &added);
    EXPECT_EQ(list.Find("QUILLMARK"), &list.At(1));
    EXPECT_EQ(list.Find("Renommer"), nullptr);
}

} // namespace
} // namespace vidora::test
