#include "ui/linkmarkup.h"

#include "platform/shell/pathroutines.h"

#include <array>

namespace vidora {

namespace {

LinkToken textToken(const QString &text)
{
    return LinkToken{LinkToken::Kind::Text, text, {}, {}};
}

LinkToken tagToken(const QString &tagText)
{
    LinkToken token;
    token.kind = LinkToken::Kind::Tag;
    const qsizetype blank = tagText.indexOf(QLatin1Char(' '));
    token.name = TrimControlChars(blank < 0 ? tagText : tagText.left(blank)).toUpper();
    token.argument = blank < 0 ? QString() : TrimControlChars(tagText.mid(blank + 1));
    return token;
}

LinkAlignment alignmentOf(const QString &argument, LinkAlignment base)
{
    const QString upper = argument.toUpper();
    if (upper == QLatin1String("LEFT"))
        return LinkAlignment::Left;
    if (upper == QLatin1String("RIGHT"))
        return LinkAlignment::Right;
    if (upper == QLatin1String("CENTER"))
        return LinkAlignment::Center;
    return base;
}

LinkKind linkKindOf(const QString &name)
{
    if (name == QLatin1String("LINK"))
        return LinkKind::Custom;
    if (name == QLatin1String("URL"))
        return LinkKind::Url;
    if (name == QLatin1String("MAIL"))
        return LinkKind::Mail;
    return LinkKind::None;
}

// The closer's kind for "/URL", "/MAIL", "/LINK"; None otherwise.
LinkKind linkCloserKindOf(const QString &name)
{
    return name.startsWith(QLatin1Char('/')) ? linkKindOf(name.mid(1)) : LinkKind::None;
}

// A link's attributes and the ones its closer returns to.
struct SavedLinkStyle
{
    QColor colour{0, 0, 0};
    bool bold = false;
    bool italic = false;
    bool underline = false;
    bool strikeOut = false;
};

void applyTag(const LinkToken &tag, LinkCharAttributes &attributes, SavedLinkStyle &saved,
              const LinkBaseStyle &base)
{
    const QString &name = tag.name;
    const QString argument = tag.argument.toUpper();
    if (name == QLatin1String("B") || name == QLatin1String("/B")) {
        attributes.bold = name.size() == 1;
    } else if (name == QLatin1String("I") || name == QLatin1String("/I")) {
        attributes.italic = name.size() == 1;
    } else if (name == QLatin1String("U") || name == QLatin1String("/U")) {
        attributes.underline = name.size() == 1;
    } else if (name == QLatin1String("S") || name == QLatin1String("/S")) {
        attributes.strikeOut = name.size() == 1;
    } else if (name == QLatin1String("COLOR")) {
        if (auto colour = LinkColourByName(argument, base))
            attributes.colour = *colour;
    } else if (name == QLatin1String("/COLOR")) {
        attributes.colour = base.fontColour;
    } else if (LinkKind kind = linkKindOf(name); kind != LinkKind::None) {
        saved = {attributes.colour, attributes.bold, attributes.italic, attributes.underline,
                 attributes.strikeOut};
        attributes.colour = kind == LinkKind::Url    ? QColor(0x00, 0x00, 0x80)
                            : kind == LinkKind::Mail ? QColor(0x80, 0x00, 0x80)
                                                     : QColor(0x00, 0x80, 0x80);
        attributes.underline = true;
    } else if (linkCloserKindOf(name) != LinkKind::None) {
        attributes.colour = saved.colour;
        attributes.bold = saved.bold;
        attributes.italic = saved.italic;
        attributes.underline = saved.underline;
        attributes.strikeOut = saved.strikeOut;
    } else if (name == QLatin1String("SIZE")) {
        bool ok = false;
        const int size = argument.toInt(&ok);
        attributes.size = ok ? size : 0;
    } else if (name == QLatin1String("/SIZE")) {
        attributes.size = base.fontSize;
    } else if (name == QLatin1String("FONT")) {
        attributes.fontName = argument;
    } else if (name == QLatin1String("/FONT")) {
        attributes.fontName = base.fontName;
    }
}

} // namespace

QString EscapeLinkMarkup(const QString &text)
{
    QString escaped = text;
    return escaped.replace(QLatin1Char('<'), QStringLiteral("<<>"));
}

std::vector<LinkToken> TokenizeLinkMarkup(const QString &markup)
{
    std::vector<LinkToken> tokens;
    QString text;
    QString tagText;
    bool inTag = false;
    auto flushText = [&] {
        if (!text.isEmpty())
            tokens.push_back(textToken(text));
        text.clear();
    };
    for (const QChar c : markup) {
        if (c.unicode() == 0)
            break;
        if (!inTag) {
            if (c == QLatin1Char('<')) {
                flushText();
                inTag = true;
                tagText.clear();
            } else {
                text += c;
            }
        } else if (c == QLatin1Char('<')) {
            // Shown where it stands; the tag goes on.
            tokens.push_back(textToken(QStringLiteral("<")));
        } else if (c == QLatin1Char('>')) {
            tokens.push_back(tagToken(tagText));
            inTag = false;
        } else {
            tagText += c;
        }
    }
    flushText();
    return tokens;
}

std::optional<QColor> LinkColourByName(const QString &name, const LinkBaseStyle &base)
{
    struct Named
    {
        const char *name;
        QRgb rgb;
    };
    static constexpr std::array<Named, 22> kColours{{
        {"RED", 0xFF0000},        {"LIME", 0x00FF00},    {"GREEN", 0x008000},
        {"MAROON", 0x800000},     {"YELLOW", 0xFFFF00},  {"NAVY", 0x000080},
        {"BLUE", 0x0000FF},       {"LTGRAY", 0xC0C0C0},  {"BLACK", 0x000000},
        {"MEDGRAY", 0xA0A0A4},    {"WHITE", 0xFFFFFF},   {"SILVER", 0xC0C0C0},
        {"AQUA", 0x00FFFF},       {"TEAL", 0x008080},    {"DKGRAY", 0x808080},
        {"MONEYGREEN", 0xC0DCC0}, {"OLIVE", 0x808000},   {"CREAM", 0xFFFBF0},
        {"PURPLE", 0x800080},     {"SKYBLUE", 0xA6CAF0}, {"FUCHSIA", 0xFF00FF},
        {"GRAY", 0x808080},
    }};
    for (const Named &named : kColours)
        if (name == QLatin1String(named.name))
            return QColor::fromRgb(named.rgb);
    if (name == QLatin1String("BTNFACE"))
        return base.buttonFace;
    if (name == QLatin1String("APPWORKSPACE"))
        return base.appWorkspace;
    return std::nullopt;
}

LinkLayout BuildLinkLayout(const QString &markup, const LinkCharAttributes &current,
                           const LinkBaseStyle &base)
{
    LinkLayout layout;
    LinkCharAttributes attributes = current;
    SavedLinkStyle saved; // black and no style at the start of every write
    QString pending;      // the shown text since the end of the previous tag
    auto endRun = [&] {
        if (!pending.isEmpty()) {
            layout.runs.push_back(LinkRun{int(layout.plainText.size()), pending, attributes});
            layout.plainText += pending;
        }
        pending.clear();
    };
    for (const LinkToken &token : TokenizeLinkMarkup(markup)) {
        if (token.kind == LinkToken::Kind::Text) {
            pending += token.text;
            continue;
        }
        if (token.isLineBreak()) {
            pending += QLatin1Char('\n');
            layout.lines.push_back(alignmentOf(token.argument, base.alignment));
        }
        endRun();
        applyTag(token, attributes, saved, base);
    }
    endRun();
    layout.lines.push_back(base.alignment);
    layout.attributesAfter = attributes;
    return layout;
}

LinkTarget FindLinkAt(const QString &markup, int position)
{
    int counted = 0;
    LinkTarget opened;
    int openedAt = 0;
    for (const LinkToken &token : TokenizeLinkMarkup(markup)) {
        if (token.kind == LinkToken::Kind::Text) {
            counted += int(token.text.size());
            continue;
        }
        if (token.isLineBreak()) {
            ++counted;
        } else if (LinkKind kind = linkKindOf(token.name); kind != LinkKind::None) {
            opened = LinkTarget{kind, token.argument};
            openedAt = counted;
        } else if (LinkKind closer = linkCloserKindOf(token.name); closer != LinkKind::None) {
            if (position >= openedAt && position < counted && opened.kind == closer)
                return opened;
        }
    }
    return {};
}

} // namespace vidora
