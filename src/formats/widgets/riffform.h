#pragma once

// The window of the AVI structure analyser: shows the report of one file
// and saves it as a ".log" file.
#include "formats/riffanalysis.h"

#include <QDialog>

#include <functional>

class QListWidget;
class QPushButton;

namespace vidora {

class TRiffForm : public QDialog
{
    Q_OBJECT

public:
    explicit TRiffForm(QWidget *parent = nullptr);

    // Analyses the file, then shows the window modally.
    void ShowRiffAnalysis(const QString &path);
    // Fills the list with the report of the file; the Save button is enabled
    // once a report is complete.
    void AnalyseAviFile(const QString &path);
    // Writes the report lines to `fileName` (UTF-8, CR LF), whole or not at
    // all; false, with the reason in `error`, when it cannot be written.
    bool SaveReport(const QString &fileName, QString *error = nullptr) const;
    // Asks for a file name and saves the report there.
    void SauverBtnClick();

    // Asks where to save, given the proposed path; empty: cancelled. None:
    // the save dialog.
    std::function<QString(const QString &proposed)> AskSaveFileName;
    // The program's name in the report's head.
    QString ProgramName = QStringLiteral("Vidora");

    QListWidget *ListBox1 = nullptr;
    QPushButton *SauverBtn = nullptr;
    QPushButton *FermerBtn = nullptr;

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    QString m_path;
    bool m_cancel = false;
};

} // namespace vidora
