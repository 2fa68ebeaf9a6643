// The rule that shows and enables the main window's actions, the error box
// texts of a command, and the frame-rate dialog's first choice.
#include "ui/actionstates.h"

#include "files/commandengine.h"
#include "support/engine_fixture.h"

#include <gtest/gtest.h>

using namespace vidora;
using test::FakeEntry;

namespace {

// A command whose file condition enables (and shows) the entries whose
// path holds "ok", and whose own condition answers `applies`.
struct CommandCase
{
    TcmdNombre nombre = TcmdNombre::fnSelect;
    bool applies = true;
    bool hidesDisabled = false; // the file condition hides what it disables
};

struct StateCase
{
    const char *what;
    const char *category;
    TPanelsShown panels;
    std::optional<CommandCase> command;
    const char *active; // none: no active entry
    std::vector<const char *> selected;
    std::vector<const char *> all;
    TActionState expected;
};

void PrintTo(const StateCase &c, std::ostream *os)
{
    *os << c.what;
}

EngineEntryPtr Entry(const char *path)
{
    return path ? std::make_shared<FakeEntry>(QString::fromUtf8(path)) : nullptr;
}

class ActionStates : public ::testing::TestWithParam<StateCase>
{};

TEST_P(ActionStates, VisibleAndEnabled)
{
    const StateCase &c = GetParam();
    TCommandEngine ce;
    tCustomCmd command;
    int conditionAsked = 0;
    if (c.command) {
        command.Nombre = c.command->nombre;
        command.OnCommandCondition = [&](TCommandEngine &) {
            ++conditionAsked;
            return c.command->applies;
        };
        command.OnFileCondition = [hides = c.command->hidesDisabled](const EngineEntryPtr &e,
                                                                     bool &visible, bool &enabled) {
            enabled = e && e->FullPath().contains(QLatin1String("ok"));
            if (hides)
                visible = enabled;
        };
    }
    TActionEntries entries;
    entries.active = Entry(c.active);
    for (const char *path : c.selected)
        entries.selected.push_back(Entry(path));
    for (const char *path : c.all)
        entries.all.push_back(Entry(path));

    const TActionState state = ActionStateFor(QString::fromUtf8(c.category), c.panels,
                                              c.command ? &command : nullptr, ce, entries);
    EXPECT_EQ(state.visible, c.expected.visible);
    EXPECT_EQ(state.enabled, c.expected.enabled);
    // A hidden action does not ask whether its command applies.
    const std::string category = c.category;
    const bool hiddenByPanel =
        category != "permanent" &&
        (c.panels.about || c.panels.settings || (c.panels.emptyList && category != "open"));
    if (c.command && hiddenByPanel) {
        EXPECT_EQ(conditionAsked, 0);
    }
}

constexpr TPanelsShown kNone{};
constexpr TPanelsShown kEmptyList{.emptyList = true};
constexpr TPanelsShown kAbout{.about = true};
constexpr TPanelsShown kSettings{.emptyList = true, .settings = true};
constexpr TActionState kShown{true, true};
constexpr TActionState kHidden{false, false};
constexpr TActionState kDisabled{true, false};

using enum TcmdNombre;

// clang-format off
INSTANTIATE_TEST_SUITE_P(Rule, ActionStates, ::testing::Values(
    // The panels.
    StateCase{"empty list: permanent stays", "permanent", kEmptyList, {}, nullptr, {}, {}, kShown},
    StateCase{"empty list: open stays", "open", kEmptyList, {}, nullptr, {}, {}, kShown},
    StateCase{"empty list: list actions go", "list", kEmptyList, {}, nullptr, {}, {}, kHidden},
    StateCase{"empty list: commands go", "multi", kEmptyList, CommandCase{}, nullptr, {}, {}, kHidden},
    StateCase{"About: permanent stays", "permanent", kAbout, {}, "a_ok", {}, {}, kShown},
    StateCase{"About: open goes", "open", kAbout, {}, "a_ok", {}, {}, kHidden},
    StateCase{"About: a command goes", "mono", kAbout, CommandCase{.nombre = fnSingle}, "a_ok", {"a_ok"}, {"a_ok"}, kHidden},
    StateCase{"settings: open goes", "open", kSettings, {}, nullptr, {}, {}, kHidden},
    StateCase{"settings: permanent command stays", "permanent", kSettings, CommandCase{.nombre = fnNone}, nullptr, {}, {}, kShown},
    StateCase{"nothing shown: navigation", "Naviguer", kNone, {}, "a_ok", {}, {"a_ok"}, kShown},
    // The command's condition.
    StateCase{"a command that does not apply hides", "permanent", kNone, CommandCase{.nombre = fnNone, .applies = false}, nullptr, {}, {}, {false, true}},
    // By Nombre.
    StateCase{"fnSelect with nothing selected", "multi", kNone, CommandCase{}, "a_ok", {}, {"a_ok"}, kDisabled},
    StateCase{"fnSelect: one selected entry in scope", "multi", kNone, CommandCase{}, "a_no", {"b_no", "c_ok"}, {"a_no", "b_no", "c_ok"}, kShown},
    StateCase{"fnSelect: no selected entry in scope", "multi", kNone, CommandCase{}, "c_ok", {"a_no", "b_no"}, {"a_no", "b_no", "c_ok"}, kDisabled},
    StateCase{"fnSelect: out of scope stays visible", "multi", kNone, CommandCase{.hidesDisabled = true}, "a_no", {"a_no"}, {"a_no"}, kDisabled},
    StateCase{"fnSingle: active entry in scope", "mono", kNone, CommandCase{.nombre = fnSingle}, "a_ok", {}, {"a_ok"}, kShown},
    StateCase{"fnSingle: active entry out of scope", "mono", kNone, CommandCase{.nombre = fnSingle}, "a_no", {"a_no"}, {"a_no"}, kDisabled},
    StateCase{"fnSingle: hidden with the entry", "mono", kNone, CommandCase{.nombre = fnSingle, .hidesDisabled = true}, "a_no", {"a_no"}, {"a_no"}, kHidden},
    StateCase{"fnSingle: no active entry", "mono", kNone, CommandCase{.nombre = fnSingle}, nullptr, {}, {"a_ok"}, kDisabled},
    StateCase{"fnAll: any entry in scope", "list", kNone, CommandCase{.nombre = fnAll}, "a_no", {}, {"a_no", "b_ok"}, kShown},
    StateCase{"fnAll: empty list", "permanent", kNone, CommandCase{.nombre = fnAll}, nullptr, {}, {}, kDisabled},
    StateCase{"fnNone: no entry needed", "multi", kNone, CommandCase{.nombre = fnNone}, nullptr, {}, {"a_no"}, kShown}));
// clang-format on

TEST(ActionStates, ToolbarActionsKeepTheirOwnState)
{
    EXPECT_TRUE(KeepsOwnState(QStringLiteral("saBarreListe")));
    EXPECT_TRUE(KeepsOwnState(QStringLiteral("saBarreInterface")));
    EXPECT_FALSE(KeepsOwnState(QStringLiteral("sabarreOuvrir")));
    EXPECT_FALSE(KeepsOwnState(QStringLiteral("saBarr")));
}

TEST(CommandErrorBox, TextForEachErrorType)
{
    const QString text = QStringLiteral("An error occured while converting /v/a.avi in type 2");
    EXPECT_EQ(ErrorBoxText(text, TErrorType::etNoError), text + u'\n');
    EXPECT_EQ(ErrorBoxText(text, TErrorType::etError),
              text + QStringLiteral("\nThe current file has been aborted."));
    EXPECT_EQ(ErrorBoxText(text, TErrorType::etAllError),
              text + QStringLiteral("\nThe command will be aborted."));
}

TEST(FrequencePreset, FirstChoiceFromTheFileRate)
{
    struct Case
    {
        double rate;
        TFrequencePreset expected;
    };
    const Case cases[] = {
        {25.0, {TFrequenceChoice::Pal, {}}},
        {29.97, {TFrequenceChoice::Ntsc, {}}},
        {30000.0 / 1001.0, {TFrequenceChoice::Ntsc, {}}},
        {30.0, {TFrequenceChoice::Personalized, QStringLiteral("30")}},
        {24.99, {TFrequenceChoice::Personalized, QStringLiteral("24.99")}},
        {0.0, {TFrequenceChoice::Personalized, QStringLiteral("0")}},
    };
    const QLocale before;
    QLocale::setDefault(QLocale::c());
    for (const Case &c : cases)
        EXPECT_EQ(FrequencePresetFor(c.rate), c.expected) << c.rate;
    QLocale::setDefault(before);
}

TEST(DecimalText, ReadsBackInTheDefaultLocale)
{
    const QLocale before;
    QLocale::setDefault(QLocale(QLocale::French, QLocale::France));
    EXPECT_EQ(DecimalText(29.97), QStringLiteral("29,97"));
    EXPECT_EQ(DecimalText(12345.5), QStringLiteral("12345,5")); // no group separator
    QLocale::setDefault(before);
}

} // namespace
