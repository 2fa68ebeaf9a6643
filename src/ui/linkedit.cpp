#include "ui/linkedit.h"

#include <QAbstractTextDocumentLayout>
#include <QMouseEvent>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextLayout>

#include <algorithm>

namespace vidora {

namespace {

Qt::Alignment qtAlignment(LinkAlignment alignment)
{
    switch (alignment) {
    case LinkAlignment::Right:
        return Qt::AlignRight | Qt::AlignAbsolute;
    case LinkAlignment::Center:
        return Qt::AlignHCenter;
    case LinkAlignment::Left:
        break;
    }
    return Qt::AlignLeft | Qt::AlignAbsolute;
}

QTextCharFormat charFormat(const LinkCharAttributes &attributes)
{
    QTextCharFormat format;
    format.setForeground(attributes.colour);
    format.setFontFamilies({attributes.fontName});
    // Size 0 (a bad "SIZE") shows as the smallest text there is.
    format.setFontPointSize(std::max(attributes.size, 1));
    format.setFontWeight(attributes.bold ? QFont::Bold : QFont::Normal);
    format.setFontItalic(attributes.italic);
    format.setFontUnderline(attributes.underline);
    format.setFontStrikeOut(attributes.strikeOut);
    return format;
}

} // namespace

TLinkEdit::TLinkEdit(QWidget *parent) : QTextEdit(parent)
{
    setReadOnly(true);
    viewport()->setMouseTracking(true);
    m_current = fontAttributes();
}

LinkCharAttributes TLinkEdit::fontAttributes() const
{
    const QFont f = font();
    LinkCharAttributes attributes;
    attributes.colour = palette().color(QPalette::Text);
    attributes.fontName = f.family();
    attributes.size = f.pointSize() > 0 ? f.pointSize() : f.pixelSize() * 72 / 96;
    attributes.bold = f.bold();
    attributes.italic = f.italic();
    attributes.underline = f.underline();
    attributes.strikeOut = f.strikeOut();
    return attributes;
}

LinkBaseStyle TLinkEdit::BaseStyle() const
{
    const LinkCharAttributes own = fontAttributes();
    LinkBaseStyle base;
    base.fontColour = own.colour;
    base.fontName = own.fontName;
    base.fontSize = own.size;
    base.alignment = m_alignment;
    base.buttonFace = palette().color(QPalette::Button);
    // The colour behind a workspace's windows, as QMdiArea paints it.
    base.appWorkspace = palette().color(QPalette::Dark);
    return base;
}

void TLinkEdit::SetRichText(const QString &markup)
{
    hide();
    m_richText = markup;
    const LinkLayout layout = BuildLinkLayout(markup, m_current, BaseStyle());
    m_current = layout.attributesAfter;

    QTextDocument *doc = document();
    doc->clear();
    QTextCursor cursor(doc);
    std::size_t line = 0;
    QTextBlockFormat block;
    block.setAlignment(qtAlignment(layout.lines[line]));
    cursor.setBlockFormat(block);
    for (const LinkRun &run : layout.runs) {
        const QTextCharFormat format = charFormat(run.attributes);
        const QStringList pieces = run.text.split(QLatin1Char('\n'));
        for (qsizetype i = 0; i < pieces.size(); ++i) {
            if (i > 0) {
                block.setAlignment(qtAlignment(layout.lines[++line]));
                cursor.insertBlock(block, format);
            }
            cursor.insertText(pieces[i], format);
        }
    }
    // The control's own cursor moved along with the insertions: back to the
    // start, so that the text shows from its first line.
    moveCursor(QTextCursor::Start);
    show();
}

int TLinkEdit::CharacterAt(const QPoint &viewportPoint) const
{
    const QPointF point = QPointF(viewportPoint) +
                          QPointF(horizontalScrollBar()->value(), verticalScrollBar()->value());
    const QTextDocument *doc = document();
    for (QTextBlock block = doc->begin(); block.isValid(); block = block.next()) {
        const QRectF bounds = doc->documentLayout()->blockBoundingRect(block);
        if (point.y() < bounds.top() || point.y() >= bounds.bottom())
            continue;
        // Line rectangles are in the block layout's own coordinates.
        const QTextLayout *textLayout = block.layout();
        const QPointF local = point - textLayout->position();
        for (int i = 0; i < textLayout->lineCount(); ++i) {
            const QTextLine textLine = textLayout->lineAt(i);
            if (textLine.naturalTextRect().contains(local))
                return block.position() +
                       textLine.xToCursor(local.x(), QTextLine::CursorOnCharacter);
        }
        return -1;
    }
    return -1;
}

void TLinkEdit::mouseMoveEvent(QMouseEvent *event)
{
    QTextEdit::mouseMoveEvent(event);
    // Positions past 16 bits wrap, as the control has always reported them.
    const int at = CharacterAt(event->position().toPoint());
    const LinkTarget link = at < 0 ? LinkTarget{} : FindLinkAt(m_richText, at & 0xFFFF);
    if (link.kind == LinkKind::None) {
        viewport()->setCursor(Qt::ArrowCursor);
        setToolTip(QString());
        viewport()->setToolTip(QString());
        return;
    }
    viewport()->setCursor(Qt::PointingHandCursor);
    const TLinkHintEvent &handler = link.kind == LinkKind::Url    ? OnUrlHint
                                    : link.kind == LinkKind::Mail ? OnMailHint
                                                                  : OnCustomLinkHint;
    if (handler) {
        QString hint;
        handler(link.target, hint);
        setToolTip(hint);
        viewport()->setToolTip(hint);
    }
}

void TLinkEdit::mouseReleaseEvent(QMouseEvent *event)
{
    QTextEdit::mouseReleaseEvent(event);
    const int at = CharacterAt(event->position().toPoint());
    const LinkTarget link = at < 0 ? LinkTarget{} : FindLinkAt(m_richText, at & 0xFFFF);
    const TLinkClickEvent &handler = link.kind == LinkKind::Url    ? OnUrlClick
                                     : link.kind == LinkKind::Mail ? OnMailClick
                                                                   : OnCustomLinkClick;
    if (link.kind != LinkKind::None && handler)
        handler(link.target);
}

void TLinkEdit::changeEvent(QEvent *event)
{
    QTextEdit::changeEvent(event);
    if (event->type() == QEvent::FontChange)
        m_current = fontAttributes();
}

} // namespace vidora
