// The link-text control as a person uses it: the document it shows, and the
// hint, cursor and click over a link under the mouse.
#include "ui/linkedit.h"

#include <QApplication>
#include <QTest>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>

#include <gtest/gtest.h>

namespace {

using namespace vidora;

struct Panel
{
    QWidget window;
    TLinkEdit *edit = new TLinkEdit(&window);

    Panel()
    {
        QFont font(QStringLiteral("Liberation Sans"));
        font.setPointSize(12);
        edit->setFont(font);
        edit->setGeometry(0, 0, 400, 200);
        window.resize(400, 200);
        window.show();
        QApplication::processEvents();
    }

    // The middle of shown character `position` (a line break counting one).
    QPoint middleOf(int position)
    {
        QTextCursor cursor(edit->document());
        cursor.setPosition(position);
        const QRect before = edit->cursorRect(cursor);
        cursor.setPosition(position + 1);
        const QRect after = edit->cursorRect(cursor);
        return QPoint((before.left() + after.left()) / 2, before.center().y());
    }

    QTextCharFormat formatAt(int position)
    {
        QTextCursor cursor(edit->document());
        cursor.setPosition(position + 1); // the format of the character before
        return cursor.charFormat();
    }
};

TEST(LinkEdit, ShowsTheRunsAndLinesOfItsMarkup)
{
    Panel panel;
    panel.edit->hide();
    const QString markup =
        QStringLiteral("<b>Video</b> not <color red>available<br CENTER><SIZE 20>x</size><br>y");
    panel.edit->SetRichText(markup);
    EXPECT_TRUE(panel.edit->isVisible()) << "writing shows the control";
    EXPECT_EQ(panel.edit->RichText(), markup);

    QTextDocument *doc = panel.edit->document();
    EXPECT_EQ(doc->toPlainText(), QStringLiteral("Video not available\nx\ny"));
    EXPECT_EQ(panel.formatAt(0).fontWeight(), QFont::Bold);
    EXPECT_EQ(panel.formatAt(6).fontWeight(), QFont::Normal);
    EXPECT_EQ(panel.formatAt(10).foreground().color(), QColor(0xFF, 0, 0));
    EXPECT_EQ(panel.formatAt(20).fontPointSize(), 20);
    EXPECT_EQ(panel.formatAt(20).fontFamilies().toStringList(), QStringList{"Liberation Sans"});
    EXPECT_EQ(panel.formatAt(22).fontPointSize(), 12);
    EXPECT_EQ(doc->findBlockByNumber(0).blockFormat().alignment() & Qt::AlignHorizontal_Mask,
              Qt::AlignHCenter);
    EXPECT_EQ(doc->findBlockByNumber(1).blockFormat().alignment() & Qt::AlignHorizontal_Mask,
              Qt::AlignLeft | Qt::AlignAbsolute);

    // The colour left open goes on in the next text; a new font resets it.
    panel.edit->SetRichText(QStringLiteral("z"));
    EXPECT_EQ(panel.formatAt(0).foreground().color(), QColor(0xFF, 0, 0));
    panel.edit->setFont(QFont(QStringLiteral("Liberation Serif"), 9));
    panel.edit->SetRichText(QStringLiteral("z"));
    EXPECT_NE(panel.formatAt(0).foreground().color(), QColor(0xFF, 0, 0));
    EXPECT_EQ(panel.formatAt(0).fontPointSize(), 9);
}

TEST(LinkEdit, HintsAndClicksOnLinksByCharacter)
{
    Panel panel;
    QStringList events;
    panel.edit->OnUrlHint = [&](QString link, QString &hint) { hint = "go to " + link; };
    panel.edit->OnUrlClick = [&](QString link) { events << "url " + link; };
    panel.edit->OnMailClick = [&](QString link) { events << "mail " + link; };
    panel.edit->OnCustomLinkClick = [&](QString link) { events << "link " + link; };
    // Positions: "see " 0-3, "site" 4-7, " " 8, line break 9, "mail" 10-13,
    // " " 14, "save" 15-18.
    panel.edit->SetRichText(QStringLiteral(
        "see <URL http://Example.org>site</URL> <br><MAIL me@example.org>mail</MAIL> "
        "<LINK Save>save</LINK>"));
    QWidget *viewport = panel.edit->viewport();

    struct Case
    {
        int position;
        const char *click; // nullptr: no click event
        Qt::CursorShape cursor;
        const char *hint;
    };
    const std::vector<Case> cases = {
        {0, nullptr, Qt::ArrowCursor, ""},
        {4, "url http://Example.org", Qt::PointingHandCursor, "go to http://Example.org"},
        {7, "url http://Example.org", Qt::PointingHandCursor, "go to http://Example.org"},
        {8, nullptr, Qt::ArrowCursor, ""},
        {10, "mail me@example.org", Qt::PointingHandCursor, ""}, // no mail hint handler
        {16, "link Save", Qt::PointingHandCursor, ""},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.position);
        events.clear();
        const QPoint at = panel.middleOf(c.position);
        EXPECT_EQ(panel.edit->CharacterAt(at), c.position);
        QTest::mouseMove(viewport, at);
        EXPECT_EQ(viewport->cursor().shape(), c.cursor);
        EXPECT_EQ(panel.edit->CurrentHint(), QString::fromLatin1(c.hint));
        QTest::mouseClick(viewport, Qt::RightButton, {}, at);
        EXPECT_EQ(events, c.click ? QStringList{QString::fromLatin1(c.click)} : QStringList{});
    }

    // Below the last line there is no character.
    EXPECT_EQ(panel.edit->CharacterAt(QPoint(5, 190)), -1);

    // Without a click handler, a link does nothing.
    panel.edit->OnUrlClick = nullptr;
    events.clear();
    QTest::mouseClick(viewport, Qt::LeftButton, {}, panel.middleOf(5));
    EXPECT_TRUE(events.isEmpty());
}

} // namespace
