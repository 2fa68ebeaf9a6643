#include "settings/widgets/raccourcisform.h"

#include "platform/shell/widgets/prepareform.h"
#include "settings/panelvalues.h"
#include "settings/settings.h"
#include "settings/superactions.h"
#include "ui/linkedit.h"

#include <QHeaderView>
#include <QPointer>
#include <QTableWidget>
#include <QVBoxLayout>

namespace vidora {

namespace {

struct Column
{
    const char *title;
    int width;
};
constexpr Column kColumns[] = {{"Functions", 238}, {"Keys", 80}, {"Switches", 60}, {"Script", 100}};

// The row's action, kept with its first cell.
constexpr int kActionRole = Qt::UserRole;

} // namespace

TRaccourcisForm::TRaccourcisForm(Settings &settings, const QList<QAction *> &actions,
                                 QWidget *parent)
    : QWidget(parent, Qt::Window), m_settings(settings)
{
    setObjectName(QStringLiteral("RaccourcisForm"));
    setWindowTitle(QStringLiteral("Shortcuts and switches"));
    resize(520, 480);

    leHeader = new TLinkEdit(this);
    leHeader->setObjectName(QStringLiteral("leHeader"));
    leHeader->SetRichText(
        QStringLiteral("Click on the header of a column to sort according to it.<br>"
                       "You may also double-click on a line containing a command to "
                       "launch it."));
    leHeader->hide();

    StringGrid1 = new QTableWidget(this);
    StringGrid1->setObjectName(QStringLiteral("StringGrid1"));
    StringGrid1->setColumnCount(4);
    StringGrid1->verticalHeader()->hide();
    StringGrid1->setSelectionBehavior(QAbstractItemView::SelectRows);
    StringGrid1->setSelectionMode(QAbstractItemView::SingleSelection);
    StringGrid1->setEditTriggers(QAbstractItemView::NoEditTriggers);
    StringGrid1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    StringGrid1->setSortingEnabled(false);
    StringGrid1->viewport()->setCursor(Qt::PointingHandCursor);
    StringGrid1->horizontalHeader()->setSectionsClickable(true);
    connect(StringGrid1->horizontalHeader(), &QHeaderView::sectionClicked, this,
            &TRaccourcisForm::headerClicked);
    connect(StringGrid1, &QTableWidget::cellDoubleClicked, this,
            [this](int row, int) { rowDoubleClicked(row); });

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(leHeader);
    layout->addWidget(StringGrid1);
    PrepareForm(this);
    FillGrid(actions);
}

void TRaccourcisForm::FillGrid(const QList<QAction *> &actions)
{
    if (actions.isEmpty())
        return;
    m_actions = actions;
    const QList<CommandRow> rows = CommandRows(actions, m_settings.ShortcutSortColumn);
    StringGrid1->clearContents();
    StringGrid1->setRowCount(static_cast<int>(rows.size()));
    for (int c = 0; c < 4; ++c) {
        StringGrid1->setHorizontalHeaderItem(
            c, new QTableWidgetItem(QString::fromLatin1(kColumns[c].title)));
        StringGrid1->setColumnWidth(c, kColumns[c].width);
    }
    for (int r = 0; r < rows.size(); ++r) {
        const CommandRow &row = rows.at(r);
        const QString texts[] = {row.caption, row.keys, row.switchName, row.token};
        for (int c = 0; c < 4; ++c)
            StringGrid1->setItem(r, c, new QTableWidgetItem(texts[c]));
        StringGrid1->item(r, 0)->setData(kActionRole,
                                         QVariant::fromValue(QPointer<QObject>(row.action)));
    }
}

void TRaccourcisForm::headerClicked(int column)
{
    if (column < 0 || column > 3)
        return;
    m_settings.ShortcutSortColumn = static_cast<std::uint8_t>(column);
    FillGrid(m_actions);
}

void TRaccourcisForm::rowDoubleClicked(int row)
{
    const QTableWidgetItem *item = StringGrid1->item(row, 0);
    if (item == nullptr)
        return;
    const auto action = item->data(kActionRole).value<QPointer<QObject>>();
    if (auto *super = qobject_cast<TCustomSuperAction *>(action.data()))
        super->Execute();
}

} // namespace vidora
