#pragma once

// The read-only text control of every message panel. The owner writes tag
// markup (linkmarkup.h) into RichText; the control lays it out as runs of
// formatted text and raises hint and click events for the links in it. What
// a link does is the owner's business.
#include "ui/linkmarkup.h"

#include <QTextEdit>

#include <functional>

namespace vidora {

class TLinkEdit : public QTextEdit
{
    Q_OBJECT
public:
    // The link's target; the hint comes in empty and what the handler puts
    // there becomes the control's hint.
    using TLinkHintEvent = std::function<void(QString link, QString &linkhint)>;
    using TLinkClickEvent = std::function<void(QString link)>;

    explicit TLinkEdit(QWidget *parent = nullptr);

    TLinkHintEvent OnUrlHint;
    TLinkHintEvent OnMailHint;
    TLinkHintEvent OnCustomLinkHint;
    TLinkClickEvent OnUrlClick;
    TLinkClickEvent OnMailClick;
    TLinkClickEvent OnCustomLinkClick;

    // The last markup written, exactly as written.
    QString RichText() const { return m_richText; }
    // Replaces the whole display with the markup and shows the control.
    void SetRichText(const QString &markup);

    // The alignment of lines that no "BR" aligns; the control's font and text
    // colour (palette Text) are the values the closing tags return to.
    LinkAlignment BaseAlignment() const { return m_alignment; }
    void SetBaseAlignment(LinkAlignment alignment) { m_alignment = alignment; }

    // The attributes the next text starts with (a text that left a tag open
    // hands its state on); they return to the control's font when it changes.
    LinkCharAttributes CurrentAttributes() const { return m_current; }
    LinkBaseStyle BaseStyle() const;

    // The character under a point of the viewport, a line break counting one;
    // -1 when the point is on no character.
    int CharacterAt(const QPoint &viewportPoint) const;
    // The hint shown over links ("" when hints are off).
    QString CurrentHint() const { return toolTip(); }

protected:
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    LinkCharAttributes fontAttributes() const;

    QString m_richText;
    LinkAlignment m_alignment = LinkAlignment::Left;
    LinkCharAttributes m_current;
};

} // namespace vidora
