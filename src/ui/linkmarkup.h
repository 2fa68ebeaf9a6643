#pragma once

// The tag markup of the program's message panels, read without any widget:
// a tokenizer, the builder of formatted runs and the link lookup that the
// link-text control (linkedit.h) uses.
//
// Positions: the control shows each line break as a paragraph end, which its
// document counts as one character. Both the runs and the link lookup count a
// line break as one, so a position from the widget is a position here.
#include <QColor>
#include <QString>

#include <optional>
#include <vector>

namespace vidora {

// One piece of markup: a shown text, or a tag with its name (trimmed of the
// characters below 33, upper-cased) and argument (trimmed, case kept).
struct LinkToken
{
    enum class Kind {
        Text,
        Tag,
    };
    Kind kind = Kind::Text;
    QString text; // the shown characters of a Text token
    QString name;
    QString argument;

    bool isLineBreak() const { return kind == Kind::Tag && name == QLatin1String("BR"); }
    bool operator==(const LinkToken &) const = default;
};

// The text shown literally inside markup: each "<" becomes "<<>", which the
// markup shows as one "<" ("&", ">" and every other character show as they
// are). For file names and other texts the program does not write itself.
QString EscapeLinkMarkup(const QString &text);

// Splits markup into tokens. A "<" outside a tag opens a tag that runs to the
// next ">"; a "<" inside a tag is a shown character (a Text token before the
// tag's own token); a tag still open at the end is dropped; the text ends at
// its first NUL character.
std::vector<LinkToken> TokenizeLinkMarkup(const QString &markup);

// The character attributes a run of text receives.
struct LinkCharAttributes
{
    QColor colour{0, 0, 0};
    QString fontName;
    int size = 0; // points; a bad "SIZE" argument gives 0
    bool bold = false;
    bool italic = false;
    bool underline = false;
    bool strikeOut = false;

    bool operator==(const LinkCharAttributes &) const = default;
};

enum class LinkAlignment {
    Left,
    Right,
    Center,
};

// What closing tags return to: the control's own font and alignment, and the
// two system colours that "COLOR" names.
struct LinkBaseStyle
{
    QColor fontColour{0, 0, 0};
    QString fontName;
    int fontSize = 0;
    LinkAlignment alignment = LinkAlignment::Left;
    QColor buttonFace{0xF0, 0xF0, 0xF0};
    QColor appWorkspace{0xAB, 0xAB, 0xAB};
};

// The colour of a "COLOR" argument (upper-cased); nothing for a name not in
// the table.
std::optional<QColor> LinkColourByName(const QString &name, const LinkBaseStyle &base);

// A stretch of shown text with its attributes; `start` counts a line break as
// one character, and the line break itself (a '\n' in `text`) belongs to the
// run of the tag that ends the line.
struct LinkRun
{
    int start = 0;
    QString text;
    LinkCharAttributes attributes;

    bool operator==(const LinkRun &) const = default;
};

struct LinkLayout
{
    QString plainText;                  // the shown text, '\n' for each line break
    std::vector<LinkRun> runs;          // in order, none empty, covering plainText
    std::vector<LinkAlignment> lines;   // one per line of plainText
    LinkCharAttributes attributesAfter; // the current attributes after the last tag
};

// Lays markup out from the current attributes `current` (which an earlier
// text may have left with a tag open). Each tag ends a run; the run takes the
// attributes in force before the tag, then the tag changes them. A "BR"
// aligns the line that it ends by its argument (LEFT, RIGHT, CENTER, anything
// else the base alignment); the last line has the base alignment.
LinkLayout BuildLinkLayout(const QString &markup, const LinkCharAttributes &current,
                           const LinkBaseStyle &base);

enum class LinkKind {
    None,
    Custom, // "LINK": a link the owner defines
    Url,    // "URL": a web address
    Mail,   // "MAIL": a mail address
};

struct LinkTarget
{
    LinkKind kind = LinkKind::None;
    QString target;

    bool operator==(const LinkTarget &) const = default;
};

// The link at character `position` of the shown text: a position from the
// first character after an opener up to the last before a closer of the same
// kind. Only the most recent opener counts, so nested links give the inner
// one only and a closer of another kind matches nothing.
LinkTarget FindLinkAt(const QString &markup, int position);

} // namespace vidora
