#include "formats/widgets/riffform.h"

#include "platform/durablefile.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDateTime>
#include <QFileDialog>
#include <QFileInfo>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>

namespace vidora {

TRiffForm::TRiffForm(QWidget *parent) : QDialog(parent)
{
    setWindowTitle(QStringLiteral("Analyse an AVI file"));
    setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
    setFixedSize(592, 446);

    ListBox1 = new QListWidget(this);
    ListBox1->setGeometry(8, 8, 481, 425);
    QFont mono(QStringLiteral("Courier New"), 8);
    mono.setStyleHint(QFont::TypeWriter);
    ListBox1->setFont(mono);

    SauverBtn = new QPushButton(QStringLiteral("Save"), this);
    SauverBtn->setToolTip(QStringLiteral("Save a  LOG file..."));
    SauverBtn->setGeometry(497, 8, 87, 25);
    SauverBtn->setEnabled(false);
    connect(SauverBtn, &QPushButton::clicked, this, [this] { SauverBtnClick(); });

    FermerBtn = new QPushButton(QStringLiteral("Close"), this);
    FermerBtn->setToolTip(QStringLiteral("Close the window RIFFWALK."));
    FermerBtn->setGeometry(497, 40, 87, 25);
    connect(FermerBtn, &QPushButton::clicked, this, [this] {
        m_cancel = true;
        reject();
    });
}

void TRiffForm::ShowRiffAnalysis(const QString &path)
{
    SauverBtn->setEnabled(false);
    m_path = path;
    setWindowTitle(QStringLiteral("Header of the file %1").arg(path));
    AnalyseAviFile(path);
    // Closed while the walk ran: the report is cut short and not shown.
    if (!m_cancel)
        exec();
}

void TRiffForm::AnalyseAviFile(const QString &path)
{
    m_cancel = false;
    m_path = path;
    ListBox1->clear();
    SauverBtn->setEnabled(false);
    TRiffAnalysisContext context;
    context.analysedAt = FromQDateTime(QDateTime::currentDateTime());
    context.programName = ProgramName;
    context.keepGoing = [this] {
        // The buttons work during a long walk.
        QCoreApplication::processEvents();
        return !m_cancel;
    };
    const TRiffAnalysis report = vidora::AnalyseAviFile(path, context);
    ListBox1->addItems(report.lines);
    if (report.cancelled) {
        hide();
        return;
    }
    SauverBtn->setEnabled(!report.lines.isEmpty());
}

bool TRiffForm::SaveReport(const QString &fileName, QString *error) const
{
    QStringList lines;
    for (int i = 0; i < ListBox1->count(); ++i)
        lines << ListBox1->item(i)->text();
    return WriteFileDurably(fileName, RiffReportBytes(lines), error);
}

void TRiffForm::SauverBtnClick()
{
    const QFileInfo info(m_path);
    const QString proposed = info.dir().filePath(info.completeBaseName() + QStringLiteral(".log"));
    const QString fileName =
        AskSaveFileName
            ? AskSaveFileName(proposed)
            : QFileDialog::getSaveFileName(
                  this, QString(), proposed,
                  QStringLiteral("Log files (*.log);;Txt files(*.txt);;All files (*.*)"));
    if (fileName.isEmpty())
        return;
    QApplication::setOverrideCursor(Qt::WaitCursor);
    QString error;
    const bool saved = SaveReport(fileName, &error);
    QApplication::restoreOverrideCursor();
    if (!saved)
        QMessageBox::warning(this, windowTitle(),
                             QStringLiteral("Cannot save the report: ") + error);
}

void TRiffForm::closeEvent(QCloseEvent *event)
{
    m_cancel = true;
    event->accept();
    QDialog::closeEvent(event);
}

} // namespace vidora
