// The About page: its texts, and the hints and clicks of its links.
#include "ui/aproposframe.h"

#include "ui/linkedit.h"

#include <QApplication>
#include <QPushButton>
#include <QTest>
#include <QTextCursor>
#include <QTextDocument>
#include <gtest/gtest.h>

namespace vidora {
namespace {

TEST(AproposFrame, TextsHintsAndLinks)
{
    QWidget window;
    window.resize(800, 1000);
    auto *frame = new TAproposFrame(&window);
    QStringList opened;
    frame->OpenUrl = [&](const QString &address) {
        opened << "url " + address;
        return true;
    };
    frame->SendMail = [&](const QString &address, const QString &subject, const QString &body) {
        opened << "mail " + address + " " + subject + "|" + body;
        return true;
    };
    frame->OnCommandListClick = [&] { opened << QStringLiteral("commands"); };
    frame->BuildAboutText(QStringLiteral("12/10/2026"));
    EXPECT_EQ(frame->FermerBtn->text(), QStringLiteral("Close"));
    EXPECT_EQ(frame->FermerBtn->toolTip(),
              QStringLiteral("Close the \"About\" window and go back to main window."));
    EXPECT_EQ(frame->rxApropos->font().family(), QStringLiteral("Arial"));
    window.show();
    frame->ShowFrame();
    EXPECT_TRUE(frame->isVisible());
    EXPECT_EQ(frame->pos(), QPoint(0, 0));
    // Room for the whole text, so that every link is on the screen.
    frame->resize(800, 1000);
    frame->rxApropos->setGeometry(0, 0, 780, 900);
    QApplication::processEvents();

    TLinkEdit *edit = frame->rxApropos;
    const QString shown = edit->document()->toPlainText();
    EXPECT_TRUE(shown.startsWith(QStringLiteral("Vidora manages")));
    EXPECT_TRUE(shown.contains(QStringLiteral("Its last update has been made on 12/10/2026.")));
    EXPECT_TRUE(shown.contains(QStringLiteral("Qt 6")));
    EXPECT_TRUE(shown.contains(QStringLiteral("libavcodec")));
    EXPECT_FALSE(shown.contains(QLatin1Char('%'))) << "every place of the text is filled";

    const auto middleOf = [&](const QString &text) {
        const QTextCursor found = edit->document()->find(text);
        EXPECT_FALSE(found.isNull()) << text.toStdString();
        QTextCursor cursor(edit->document());
        cursor.setPosition(found.selectionStart() + 1);
        const QRect before = edit->cursorRect(cursor);
        cursor.setPosition(found.selectionStart() + 2);
        return QPoint((before.left() + edit->cursorRect(cursor).left()) / 2, before.center().y());
    };
    struct Case
    {
        QString text;
        QString hint;
        QString opened;
    } cases[] = {
        {QStringLiteral("Qt 6"),
         QStringLiteral(
             "Click here to open the web page https://www.qt.io/ in your default web browser"),
         QStringLiteral("url https://www.qt.io/")},
        {QStringLiteral("the homepage"),
         QStringLiteral("Click here to open the web page ") + HomePageAddress +
             QStringLiteral(" in your default web browser"),
         QStringLiteral("url ") + HomePageAddress},
        {QStringLiteral("an e-mail"),
         QStringLiteral("Click here to send an e-mail to ") + kContactAddress,
         QStringLiteral("mail ") + kContactAddress + QStringLiteral(" About Vidora|")},
        {QStringLiteral("To display the list"),
         QStringLiteral("Display or hide the list of commands and shortcuts"),
         QStringLiteral("commands")},
    };
    for (const Case &row : cases) {
        SCOPED_TRACE(row.text.toStdString());
        opened.clear();
        const QPoint at = middleOf(row.text);
        QTest::mouseMove(edit->viewport(), at);
        EXPECT_EQ(edit->viewport()->cursor().shape(), Qt::PointingHandCursor);
        EXPECT_EQ(edit->CurrentHint(), row.hint);
        QTest::mouseClick(edit->viewport(), Qt::LeftButton, {}, at);
        EXPECT_EQ(opened, QStringList{row.opened});
    }
    frame->HideFrame();
    EXPECT_FALSE(frame->isVisible());
}

} // namespace
} // namespace vidora
