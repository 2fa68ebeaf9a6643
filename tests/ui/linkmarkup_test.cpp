// The message panels' tag markup: shown text, runs with their attributes,
// line alignments and the link under a character.
#include "ui/linkmarkup.h"

#include <gtest/gtest.h>

#include <ostream>

namespace vidora {

void PrintTo(const LinkCharAttributes &a, std::ostream *os)
{
    *os << a.colour.name().toStdString() << " " << a.fontName.toStdString() << " " << a.size
        << (a.bold ? " B" : "") << (a.italic ? " I" : "") << (a.underline ? " U" : "")
        << (a.strikeOut ? " S" : "");
}

void PrintTo(const LinkRun &run, std::ostream *os)
{
    *os << run.start << " \"" << run.text.toStdString() << "\" ";
    PrintTo(run.attributes, os);
}

} // namespace vidora

namespace {

using namespace vidora;

LinkBaseStyle base()
{
    LinkBaseStyle style;
    style.fontColour = QColor(0x10, 0x20, 0x30);
    style.fontName = QStringLiteral("Arial");
    style.fontSize = 10;
    style.alignment = LinkAlignment::Left;
    style.buttonFace = QColor(0xEF, 0xEF, 0xEF);
    style.appWorkspace = QColor(0xAA, 0xAA, 0xAA);
    return style;
}

LinkCharAttributes plain()
{
    LinkCharAttributes a;
    a.colour = base().fontColour;
    a.fontName = base().fontName;
    a.size = base().fontSize;
    return a;
}

// The plain attributes with changes, written as "b", "i", "u", "s" flags.
LinkCharAttributes with(const char *styles, QColor colour = base().fontColour, int size = 10,
                        const QString &font = QStringLiteral("Arial"))
{
    LinkCharAttributes a = plain();
    const QString flags = QString::fromLatin1(styles);
    a.bold = flags.contains(QLatin1Char('b'));
    a.italic = flags.contains(QLatin1Char('i'));
    a.underline = flags.contains(QLatin1Char('u'));
    a.strikeOut = flags.contains(QLatin1Char('s'));
    a.colour = colour;
    a.size = size;
    a.fontName = font;
    return a;
}

struct RunCase
{
    const char *name;
    QString markup;
    QString shown;
    std::vector<LinkRun> runs;
};

const QColor kNavy(0x00, 0x00, 0x80);
const QColor kPurple(0x80, 0x00, 0x80);
const QColor kTeal(0x00, 0x80, 0x80);

TEST(LinkMarkup, EachTagEndsARunAndChangesTheAttributesOfTheNext)
{
    const std::vector<RunCase> cases = {
        {"styles on and off",
         "<b>B</b>-<i>I</I>-<U>U</u>-<s>S</S>.",
         "B-I-U-S.",
         {{0, "B", with("b")},
          {1, "-", plain()},
          {2, "I", with("i")},
          {3, "-", plain()},
          {4, "U", with("u")},
          {5, "-", plain()},
          {6, "S", with("s")},
          {7, ".", plain()}}},
        {"styles add up", "<b><i>x</b>y", "xy", {{0, "x", with("bi")}, {1, "y", with("i")}}},
        {"colour and its closer",
         "<color blue>x</COLOR>y",
         "xy",
         {{0, "x", with("", QColor(0, 0, 0xFF))}, {1, "y", plain()}}},
        {"an unknown colour keeps the colour but still ends a run",
         "<COLOR RED>x<color nosuch>y",
         "xy",
         {{0, "x", with("", QColor(0xFF, 0, 0))}, {1, "y", with("", QColor(0xFF, 0, 0))}}},
        {"size and its closer",
         "<SIZE 14>Video not available</size>!",
         "Video not available!",
         {{0, "Video not available", with("", base().fontColour, 14)}, {19, "!", plain()}}},
        {"a size that is not a whole number gives 0",
         "<size big>x",
         "x",
         {{0, "x", with("", base().fontColour, 0)}}},
        {"font name upper-cased, closer back to the control's",
         "<FONT Liberation Mono>x</font>y",
         "xy",
         {{0, "x", with("", base().fontColour, 10, "LIBERATION MONO")}, {1, "y", plain()}}},
        {"web link: navy underlined, closer restores colour and style",
         "<b>a<URL http://Example.org/A>site</URL>b",
         "asiteb",
         {{0, "a", with("b")}, {1, "site", with("bu", kNavy)}, {5, "b", with("b")}}},
        {"mail link purple, program link teal",
         "<MAIL me@example.org>m</MAIL><LINK open>l</LINK>",
         "ml",
         {{0, "m", with("u", kPurple)}, {1, "l", with("u", kTeal)}}},
        {"/COLOR inside a link returns to the control's colour",
         "<URL x>a</COLOR>b</URL>",
         "ab",
         {{0, "a", with("u", kNavy)}, {1, "b", with("u")}}},
        {"a link closer without opener restores black and no style",
         "<b>a</URL>b",
         "ab",
         {{0, "a", with("b")}, {1, "b", with("", QColor(0, 0, 0))}}},
        {"line breaks belong to the run of their tag",
         "a<br>b<BR>c",
         "a\nb\nc",
         {{0, "a\n", plain()}, {2, "b\n", plain()}, {4, "c", plain()}}},
        {"a '<' inside a tag is shown; the tag goes on",
         "<<>a<<b>c",
         "<a<c",
         {{0, "<", plain()}, {1, "a<", plain()}, {3, "c", with("b")}}},
        {"'>' outside a tag is shown; unknown tags show nothing",
         "a>b<nosuch tag>c",
         "a>bc",
         {{0, "a>b", plain()}, {3, "c", plain()}}},
        {"a tag open at the end is dropped with its text", "abc<b", "abc", {{0, "abc", plain()}}},
        {"the text ends at a NUL",
         QStringLiteral("ab") + QChar(0) + QStringLiteral("<b>cd"),
         "ab",
         {{0, "ab", plain()}}},
        {"tag names and arguments are trimmed of control characters",
         "<\tCOLOR \tred\n>x",
         "x",
         {{0, "x", with("", QColor(0xFF, 0, 0))}}},
    };
    for (const RunCase &c : cases) {
        SCOPED_TRACE(c.name);
        const LinkLayout layout = BuildLinkLayout(c.markup, plain(), base());
        EXPECT_EQ(layout.plainText, c.shown);
        EXPECT_EQ(layout.runs, c.runs);
    }
}

TEST(LinkMarkup, EscapedTextShowsLiterally)
{
    for (const QString &text : {QStringLiteral("a<b>c&d.avi"), QStringLiteral("<<>"),
                                QStringLiteral("x<br>y<"), QStringLiteral("<URL z>")}) {
        SCOPED_TRACE(text.toStdString());
        const LinkLayout layout =
            BuildLinkLayout(QStringLiteral("<b>") + EscapeLinkMarkup(text) + QStringLiteral("</b>"),
                            plain(), base());
        EXPECT_EQ(layout.plainText, text);
        for (const LinkRun &run : layout.runs)
            EXPECT_TRUE(run.attributes.bold);
    }
}

TEST(LinkMarkup, EveryColourNameOfTheTable)
{
    const std::vector<std::pair<const char *, QRgb>> colours = {
        {"RED", 0xFF0000},        {"LIME", 0x00FF00},    {"GREEN", 0x008000},
        {"MAROON", 0x800000},     {"YELLOW", 0xFFFF00},  {"NAVY", 0x000080},
        {"BLUE", 0x0000FF},       {"LTGRAY", 0xC0C0C0},  {"BLACK", 0x000000},
        {"MEDGRAY", 0xA0A0A4},    {"WHITE", 0xFFFFFF},   {"SILVER", 0xC0C0C0},
        {"AQUA", 0x00FFFF},       {"TEAL", 0x008080},    {"DKGRAY", 0x808080},
        {"MONEYGREEN", 0xC0DCC0}, {"OLIVE", 0x808000},   {"CREAM", 0xFFFBF0},
        {"PURPLE", 0x800080},     {"SKYBLUE", 0xA6CAF0}, {"FUCHSIA", 0xFF00FF},
        {"GRAY", 0x808080},       {"BTNFACE", 0xEFEFEF}, {"APPWORKSPACE", 0xAAAAAA},
    };
    for (const auto &[name, rgb] : colours) {
        SCOPED_TRACE(name);
        const QString lower = QString::fromLatin1(name).toLower();
        const LinkLayout layout =
            BuildLinkLayout(QStringLiteral("<color %1>x").arg(lower), plain(), base());
        ASSERT_EQ(layout.runs.size(), 1u);
        EXPECT_EQ(layout.runs[0].attributes.colour, QColor::fromRgb(rgb));
    }
}

TEST(LinkMarkup, EachBreakAlignsTheLineItEnds)
{
    const LinkLayout layout = BuildLinkLayout(
        QStringLiteral("a<br CENTER>b<br>c<br right>d<BR left>e<br middle>f"), plain(), [] {
            LinkBaseStyle style = base();
            style.alignment = LinkAlignment::Right;
            return style;
        }());
    EXPECT_EQ(layout.plainText, QStringLiteral("a\nb\nc\nd\ne\nf"));
    const std::vector<LinkAlignment> expected = {
        LinkAlignment::Center, LinkAlignment::Right, LinkAlignment::Right,
        LinkAlignment::Left,   LinkAlignment::Right, LinkAlignment::Right,
    };
    EXPECT_EQ(layout.lines, expected);
}

TEST(LinkMarkup, AnOpenTagHandsItsStateToTheNextText)
{
    const LinkLayout first = BuildLinkLayout(QStringLiteral("a<b><color red>b"), plain(), base());
    const LinkLayout next =
        BuildLinkLayout(QStringLiteral("c</b>d"), first.attributesAfter, base());
    ASSERT_EQ(next.runs.size(), 2u);
    EXPECT_EQ(next.runs[0].attributes, with("b", QColor(0xFF, 0, 0)));
    EXPECT_EQ(next.runs[1].attributes, with("", QColor(0xFF, 0, 0)));

    // A closer returns to the control's values, not to those before its
    // opener: "/B" removes bold even in a control whose font is bold.
    LinkCharAttributes boldControl = plain();
    boldControl.bold = true;
    const LinkLayout closed = BuildLinkLayout(QStringLiteral("x</b>y"), boldControl, base());
    EXPECT_FALSE(closed.runs[1].attributes.bold);
}

TEST(LinkMarkup, LinkUnderACharacter)
{
    const QString markup = QStringLiteral(
        "ab<URL http://Example.org/A>cd</URL>e<br><MAIL Me@Example.org>fg</MAIL>"
        "<LINK Save>h</LINK><MAIL x@y>i</URL><URL outer>j<LINK inner>k</LINK>l</URL><<>"
        "<URL after>m</URL>");
    // Shown: a b c d e \n f g h i j k l < m — positions 0..15.
    const LinkTarget web{LinkKind::Url, QStringLiteral("http://Example.org/A")};
    const LinkTarget mail{LinkKind::Mail, QStringLiteral("Me@Example.org")};
    const LinkTarget none;
    const std::vector<std::pair<int, LinkTarget>> cases = {
        {0, none},
        {1, none},
        {2, web},
        {3, web},
        {4, none},
        {5, none}, // the line break
        {6, mail}, // counted as one
        {7, mail},
        {8, {LinkKind::Custom, QStringLiteral("Save")}},
        {9, none},  // MAIL closed by /URL
        {10, none}, // outer link: only the inner counts
        {11, {LinkKind::Custom, QStringLiteral("inner")}},
        {12, none},
        {13, none},                                     // the shown "<"
        {14, {LinkKind::Url, QStringLiteral("after")}}, // counted after the "<"
        {15, none},
        {-1, none},
    };
    for (const auto &[position, target] : cases) {
        SCOPED_TRACE(position);
        const LinkTarget found = FindLinkAt(markup, position);
        EXPECT_EQ(found.kind, target.kind);
        EXPECT_EQ(found.target, target.target);
    }
}

} // namespace
