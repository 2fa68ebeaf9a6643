#include "ui/aproposframe.h"

#include "platform/shell/shellroutines.h"
#include "platform/shell/widgets/prepareform.h"
#include "ui/linkedit.h"
#include "ui/linkmarkup.h"

#include <QPushButton>

namespace vidora {

namespace {

const QString kProgram = QStringLiteral("Vidora");

struct Credit
{
    const char *homePage;
    const char *name;
};

// The libraries the program is built on, in the order the text names them.
constexpr Credit kCredits[] = {
    {"https://www.qt.io/", "Qt 6, the windows, texts and settings"},
    {"https://ffmpeg.org/libavcodec.html", "FFmpeg's libavcodec and libavutil, the DV codec"},
    {"https://ffmpeg.org/libswscale.html", "FFmpeg's libswscale, the picture conversions"},
    {"https://ffmpeg.org/libswresample.html", "FFmpeg's libswresample, the sound conversions"},
    {"https://www.libreoffice.org/", "LibreOffice, the spreadsheet and document exports"},
};

} // namespace

TAproposFrame::TAproposFrame(QWidget *parent) : QFrame(parent)
{
    setObjectName(QStringLiteral("AproposFrame"));
    resize(587, 473);
    setAutoFillBackground(true);
    setBackgroundRole(QPalette::Button);

    rxApropos = new TLinkEdit(this);
    rxApropos->setObjectName(QStringLiteral("rxApropos"));
    rxApropos->setGeometry(304, 72, 257, 305);
    rxApropos->setFrameShape(QFrame::NoFrame);
    QPalette palette = rxApropos->palette();
    palette.setColor(QPalette::Base, palette.color(QPalette::Button));
    rxApropos->setPalette(palette);
    QFont font(QStringLiteral("Arial"));
    font.setPointSize(8);
    rxApropos->setFont(font);
    rxApropos->OnUrlClick = [this](QString link) { rxAproposUrlClick(link); };
    rxApropos->OnUrlHint = [this](QString link, QString &hint) { rxAproposUrlHint(link, hint); };
    rxApropos->OnMailClick = [this](QString link) { rxAproposMailClick(link); };
    rxApropos->OnMailHint = [this](QString link, QString &hint) { rxAproposMailHint(link, hint); };
    rxApropos->OnCustomLinkHint = [this](QString link, QString &hint) {
        rxAproposCustomLinkHint(link, hint);
    };
    rxApropos->OnCustomLinkClick = [this](QString) {
        if (OnCommandListClick)
            OnCommandListClick();
    };

    reSysteme = new TLinkEdit(this);
    reSysteme->setObjectName(QStringLiteral("reSysteme"));
    reSysteme->setGeometry(18, 352, 257, 89);
    reSysteme->setFrameShape(QFrame::NoFrame);

    FermerBtn = new QPushButton(this);
    FermerBtn->setObjectName(QStringLiteral("FermerBtn"));
    FermerBtn->setGeometry(464, 408, 80, 25);

    OpenUrl = [](const QString &address) { return OpenURL(address); };
    SendMail = [](const QString &address, const QString &subject, const QString &body) {
        return SendMailTo(address, subject, body);
    };
    PrepareForm(this);
    hide();
}

QString TAproposFrame::AboutMarkup(const QString &lastUpdate)
{
    const QString opening =
        QStringLiteral(
            "<B>%1</B> manages the videos of DV camcorders around the date and time that the "
            "camera recorded in every frame: it lists, plays, cuts, converts and renames them, "
            "and finds their scenes.<br><br>")
            .arg(kProgram);
    QString credits = QStringLiteral(
        "It uses<br> <url %1>%2</url>,<br CENTER>  <url %3>%4</url>,<br CENTER> <url "
        "%5>%6</url>,<br "
        "CENTER> <url %7>%8</url> <br CENTER>  and  <url %9>%10</url>.<br CENTER><br>");
    for (const Credit &credit : kCredits)
        credits = credits.arg(QString::fromUtf8(credit.homePage), QString::fromUtf8(credit.name));
    const QString update =
        QStringLiteral(
            "Its last update has been made on %1.<br><br>To get help or check for updates, "
            "visit  <url %2>the homepage</url> of <B>%3</B>.<br><br>To report bugs or make "
            "suggestions, you may send me <mail %4>an e-mail</mail>. I read them always "
            "carefully, but be aware that I seldom answer them due to lack of time.")
            .arg(lastUpdate, HomePageAddress, kProgram, kContactAddress);
    const QString commands =
        QStringLiteral("<br><br><B><LINK commandes>To display the list of commands and "
                       "shortcuts, click here or type F11.</LINK></B>");
    return opening + credits + update + commands;
}

void TAproposFrame::BuildAboutText(const QString &lastUpdate)
{
    FermerBtn->setToolTip(QStringLiteral("Close the \"About\" window and go back to main window."));
    FermerBtn->setText(QStringLiteral("Close"));
    QFont font = rxApropos->font();
    font.setFamily(QStringLiteral("Arial"));
    rxApropos->setFont(font);
    rxApropos->SetRichText(AboutMarkup(lastUpdate));
}

QString TAproposFrame::SystemMarkup(const QString &system, const QString &mediaVersion)
{
    return QStringLiteral("<i>  My operating system is: </i><br><b>  %1.</b><br><br><i>  I use: "
                          "</i><br><b>  DirectX version %2.</b>")
        .arg(EscapeLinkMarkup(system), EscapeLinkMarkup(mediaVersion));
}

void TAproposFrame::ShowSystem(const QString &system, const QString &mediaVersion)
{
    reSysteme->SetRichText(SystemMarkup(system, mediaVersion));
}

void TAproposFrame::ShowFrame()
{
    move(0, 0);
    show();
    raise();
    // The text opens at its first line.
    rxApropos->moveCursor(QTextCursor::Start);
}

void TAproposFrame::HideFrame()
{
    hide();
}

void TAproposFrame::rxAproposUrlClick(const QString &link)
{
    if (OpenUrl)
        OpenUrl(link);
}

void TAproposFrame::rxAproposUrlHint(const QString &link, QString &linkhint)
{
    linkhint = QStringLiteral("Click here to open the web page ") + link +
               QStringLiteral(" in your default web browser");
}

void TAproposFrame::rxAproposMailClick(const QString &)
{
    if (SendMail)
        SendMail(kContactAddress, QStringLiteral("About %1").arg(kProgram), QString());
}

void TAproposFrame::rxAproposMailHint(const QString &link, QString &linkhint)
{
    linkhint = QStringLiteral("Click here to send an e-mail to ") + link;
}

void TAproposFrame::rxAproposCustomLinkHint(const QString &, QString &linkhint)
{
    linkhint = QStringLiteral("Display or hide the list of commands and shortcuts");
}

} // namespace vidora
