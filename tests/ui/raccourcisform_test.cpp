// The commands-and-keys window and the save-settings question, offscreen.
#include "settings/widgets/raccourcisform.h"

#include "settings/settings.h"
#include "settings/superactions.h"
#include "settings/widgets/saveprefsform.h"
#include "support/testactions.h"
#include "ui/linkedit.h"

#include <QHeaderView>
#include <QPushButton>
#include <QTableWidget>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

namespace vidora {
namespace {

class RaccourcisFormTest : public ::testing::Test
{
protected:
    RaccourcisFormTest() : settings(SettingsEnvironment{})
    {
        open = make("saOuvrirFichiers", "Open files", "Ctrl+O", "o", "openfiles");
        inlay = new TtoggleAction(&owner);
        inlay->setObjectName(QStringLiteral("taAfficherIncrustation"));
        inlay->FalseCaption = QStringLiteral("Display the inlay");
        inlay->TrueCaption = QStringLiteral("Hide  inlay");
        inlay->setShortCut(QKeySequence(QStringLiteral("F6")));
        inlay->setSwitch(QStringLiteral("di"));
        inlay->setToken(QStringLiteral("displayinlay"));
        inlay->OnfalseExecute = [this](QObject *) {
            ran << QStringLiteral("show");
            inlay->SetChecked(true);
        };
        inlay->OnTrueExecute = [this](QObject *) {
            ran << QStringLiteral("hide");
            inlay->SetChecked(false);
        };
        inlay->SetChecked(false);
        about = make("taApropos", "About", "", "ab", "about");
        hidden = make("saHidden", "", "F9", "h", "hidden");
        actions = {open, inlay, about, hidden, open};
    }

    TSuperAction *make(const char *name, const char *caption, const char *key, const char *sw,
                       const char *token)
    {
        TSuperAction *action = test::MakeSuperAction(
            &owner, QString::fromUtf8(name), QString::fromUtf8(caption), QString::fromUtf8(key),
            QString::fromUtf8(sw), QString::fromUtf8(token));
        action->Onexecute = [this, name](QObject *) { ran << QString::fromUtf8(name); };
        return action;
    }

    QStringList column(const TRaccourcisForm &form, int c) const
    {
        QStringList texts;
        for (int r = 0; r < form.StringGrid1->rowCount(); ++r)
            texts << form.StringGrid1->item(r, c)->text();
        return texts;
    }

    // Clicks the header of a column, as a person would.
    static void clickHeader(TRaccourcisForm &form, int c)
    {
        QHeaderView *header = form.StringGrid1->horizontalHeader();
        const int x = header->sectionViewportPosition(c) + header->sectionSize(c) / 2;
        QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, QPoint(x, header->height() / 2));
    }

    static void doubleClickRow(TRaccourcisForm &form, int r)
    {
        QWidget *viewport = form.StringGrid1->viewport();
        const QPoint centre =
            form.StringGrid1->visualItemRect(form.StringGrid1->item(r, 0)).center();
        // An item view takes a double click after a press on the same cell.
        QTest::mouseClick(viewport, Qt::LeftButton, {}, centre);
        QTest::mouseDClick(viewport, Qt::LeftButton, {}, centre);
    }

    QObject owner;
    Settings settings;
    TSuperAction *open = nullptr;
    TtoggleAction *inlay = nullptr;
    TSuperAction *about = nullptr;
    TSuperAction *hidden = nullptr;
    QList<QAction *> actions;
    QStringList ran;
};

TEST_F(RaccourcisFormTest, ListsEachCommandOnceSortedByAnyColumn)
{
    TRaccourcisForm form(settings, actions);
    form.show();
    EXPECT_EQ(form.windowTitle(), QStringLiteral("Shortcuts and switches"));
    EXPECT_FALSE(form.leHeader->isVisible());
    ASSERT_EQ(form.StringGrid1->columnCount(), 4);
    QStringList headers;
    for (int c = 0; c < 4; ++c)
        headers << form.StringGrid1->horizontalHeaderItem(c)->text();
    EXPECT_EQ(headers, (QStringList{"Functions", "Keys", "Switches", "Script"}));
    EXPECT_EQ(form.StringGrid1->columnWidth(0), 238);

    EXPECT_EQ(column(form, 0), (QStringList{"About", "Display the inlay", "Open files"}));
    EXPECT_EQ(
        column(form, 1),
        (QStringList{"", "F6",
                     QKeySequence(QStringLiteral("Ctrl+O")).toString(QKeySequence::NativeText)}));
    EXPECT_EQ(column(form, 2), (QStringList{"ab", "di", "o"}));
    EXPECT_EQ(column(form, 3), (QStringList{"about", "displayinlay", "openfiles"}));

    clickHeader(form, 3);
    EXPECT_EQ(settings.ShortcutSortColumn, 3);
    EXPECT_EQ(column(form, 3), (QStringList{"about", "displayinlay", "openfiles"}));
    clickHeader(form, 1);
    EXPECT_EQ(settings.ShortcutSortColumn, 1);
    // No key: the caption "About" sorts among the key texts.
    EXPECT_EQ(column(form, 0), (QStringList{"About", "Open files", "Display the inlay"}));
    clickHeader(form, 2);
    EXPECT_EQ(column(form, 2), (QStringList{"ab", "di", "o"}));

    // The choice is the setting's: a new window starts with it.
    settings.ShortcutSortColumn = 1;
    TRaccourcisForm again(settings, actions);
    EXPECT_EQ(column(again, 0), (QStringList{"About", "Open files", "Display the inlay"}));
}

TEST_F(RaccourcisFormTest, DoubleClickRunsTheCommandAsAMenuWould)
{
    TRaccourcisForm form(settings, actions);
    form.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
    doubleClickRow(form, 1);
    EXPECT_EQ(ran, QStringList{QStringLiteral("show")});
    EXPECT_TRUE(inlay->Checked());
    // The caption follows on the next fill.
    form.FillGrid(actions);
    EXPECT_EQ(column(form, 0), (QStringList{"About", "Hide  inlay", "Open files"}));

    // The header row runs nothing; a disabled command does not run.
    ran.clear();
    QHeaderView *header = form.StringGrid1->horizontalHeader();
    QTest::mouseDClick(header->viewport(), Qt::LeftButton, {}, QPoint(20, header->height() / 2));
    about->setEnabled(false);
    doubleClickRow(form, 0);
    EXPECT_TRUE(ran.isEmpty());

    // Closing hides the window; it stays for the next showing.
    form.close();
    EXPECT_FALSE(form.isVisible());
}

TEST(SavePrefsForm, AChoiceIsAcceptedTheCloseBoxIsNot)
{
    {
        TSavePrefsForm dialog;
        EXPECT_EQ(dialog.windowTitle(), QStringLiteral("Saving the preferences of Vidora"));
        EXPECT_TRUE(dialog.LinkEdit1->RichText().startsWith(
            QStringLiteral("<br><size 10><i>Do you want to save your preferences")));
        QTimer::singleShot(0, &dialog, [&dialog] { dialog.close(); }); // the close box
        dialog.exec();
        EXPECT_FALSE(dialog.Accepted);
        QTimer::singleShot(0, &dialog, [&dialog] { QTest::keyClick(&dialog, Qt::Key_Escape); });
        dialog.exec();
        EXPECT_FALSE(dialog.Accepted);
    }
    const char *buttons[] = {"NormalBtn", "PortableBtn", "NoneBtn"};
    for (std::uint8_t choice = 0; choice < 3; ++choice) {
        SCOPED_TRACE(buttons[choice]);
        TSavePrefsForm dialog;
        auto *button = dialog.findChild<QPushButton *>(QString::fromLatin1(buttons[choice]));
        ASSERT_NE(button, nullptr);
        QTimer::singleShot(0, button, [button] { QTest::mouseClick(button, Qt::LeftButton); });
        dialog.exec();
        EXPECT_TRUE(dialog.Accepted);
        EXPECT_EQ(dialog.Choice, choice);
        EXPECT_FALSE(dialog.isVisible());
    }
}

} // namespace
} // namespace vidora
