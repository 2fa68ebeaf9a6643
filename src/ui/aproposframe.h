#pragma once

// The About page: what the program is, the libraries it is built on, when it
// was last updated, links to its home page and its author, a link that shows
// the list of commands and keys, and the user's system (filled by the main
// window). The main window shows and hides it through its About toggle.
#include "settings/settings.h"

#include <QFrame>
#include <QString>

#include <functional>

class QPushButton;

namespace vidora {

class TLinkEdit;

// The program's contact address (the home page is HomePageAddress).
inline const QString kContactAddress = QStringLiteral("vidora@example.org");

class TAproposFrame : public QFrame
{
    Q_OBJECT
public:
    explicit TAproposFrame(QWidget *parent = nullptr);

    // Writes the About text, with the date of the program's last update.
    void BuildAboutText(const QString &lastUpdate);
    // At the top-left corner of the parent, in front.
    void ShowFrame();
    void HideFrame();

    // The About text's four paragraphs, as markup.
    static QString AboutMarkup(const QString &lastUpdate);
    // The description of the user's system: its name and the version of the
    // media libraries, as markup.
    static QString SystemMarkup(const QString &system, const QString &mediaVersion);
    // Writes the system description.
    void ShowSystem(const QString &system, const QString &mediaVersion);

    void rxAproposUrlClick(const QString &link);
    void rxAproposUrlHint(const QString &link, QString &linkhint);
    void rxAproposMailClick(const QString &link);
    void rxAproposMailHint(const QString &link, QString &linkhint);
    void rxAproposCustomLinkHint(const QString &link, QString &linkhint);

    // The command-list link: the main window shows or hides the list of
    // commands and keys here.
    std::function<void()> OnCommandListClick;
    // How links are opened: the desktop's browser and mail program by
    // default.
    std::function<bool(const QString &address)> OpenUrl;
    std::function<bool(const QString &address, const QString &subject, const QString &body)>
        SendMail;

    TLinkEdit *rxApropos = nullptr;
    TLinkEdit *reSysteme = nullptr;
    QPushButton *FermerBtn = nullptr;
};

} // namespace vidora
