// The compatibility check window.
#include "uCompatibilityCheck.h"

#include "FormLook.h"
#include "Guard.h"
#include "MainGrid.h"
#include "Prompts.h"
#include "Scope.h"
#include "base/Clock.h"
#include "base/DaoError.h"
#include "dataset/TDaoField.h"
#include "dataset/TDaoTable.h"
#include "module/uDM.h"

#include <QCoreApplication>
#include <QHeaderView>
#include <QScopeGuard>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <QTreeWidget>

namespace {

// "12, 57, 88" and how many more.
QString rowList(const QList<qint64> &rows)
{
    QStringList shown;
    for (qsizetype i = 0; i < rows.size() && i < 8; ++i)
        shown << QString::number(rows[i]);
    QString text = QStringLiteral("%1: %2").arg(rows.size()).arg(shown.join(QStringLiteral(", ")));
    if (rows.size() > 8)
        text += QStringLiteral(" ...");
    return text;
}

} // namespace

TfCompatibilityCheck::TfCompatibilityCheck(QWidget *parent)
    : QDialog(parent)
{
    setupUi();
}

void TfCompatibilityCheck::setupUi()
{
    FormLook::fixedDialog(this, QStringLiteral("fCompatibilityCheck"), QStringLiteral("Проверка на съвместимостта"), 640, 420);
    Label1 = FormLook::label(this, QStringLiteral("Label1"),
                             QStringLiteral("Записи в съвместимостта, които не отговарят на каталога с модели:"), 8, 8);
    lvFindings = new QTreeWidget(this);
    lvFindings->setObjectName(QStringLiteral("lvFindings"));
    lvFindings->setGeometry(8, 26, 624, 312);
    lvFindings->setRootIsDecorated(false);
    lvFindings->setUniformRowHeights(true);
    lvFindings->setHeaderLabels({QStringLiteral("Запис"), QStringLiteral("Проблем"), QStringLiteral("Предложение"),
                                 QStringLiteral("Редове (№)")});
    lvFindings->setColumnWidth(0, 165);
    lvFindings->setColumnWidth(1, 175);
    lvFindings->setColumnWidth(2, 170);
    lblSummary = FormLook::label(this, QStringLiteral("lblSummary"), QString(), 8, 344);
    lblSummary->setFixedWidth(624);
    pbProgress = new QProgressBar(this);
    pbProgress->setObjectName(QStringLiteral("pbProgress"));
    pbProgress->setGeometry(8, 364, 624, 16);
    pbProgress->setTextVisible(false);
    pbProgress->hide();
    bFix = new QPushButton(QStringLiteral("&Поправи"), this);
    bFix->setObjectName(QStringLiteral("bFix"));
    bFix->setGeometry(406, 388, 110, 25);
    bFix->setEnabled(false);
    bCancel = new QPushButton(QStringLiteral("&Изход"), this);
    bCancel->setObjectName(QStringLiteral("bCancel"));
    bCancel->setGeometry(522, 388, 110, 25);
    connect(bCancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(bFix, &QPushButton::clicked, this, Guard::slot([this] { bFixClick(); }));
    connect(lvFindings, &QTreeWidget::currentItemChanged, this, [this] { selectionChanged(); });
}

void TfCompatibilityCheck::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    if (!mChecked) {
        mChecked = true;
        QTimer::singleShot(0, this, Guard::slot([this] { Check(); }));
    }
}

void TfCompatibilityCheck::Check()
{
    lvFindings->clear();
    mFindings.clear();
    bFix->setEnabled(false);
    if (!DM || !DM->DataBase->Connected())
        return;
    WaitCursor wait;
    QList<compatibility::CatalogueCar> catalogue;
    {
        TDaoTable models;
        models.setDatabase(DM->DataBase);
        models.setTableName(QStringLiteral("models"));
        models.setFieldNames({QStringLiteral("mark_name"), QStringLiteral("model_name"), QStringLiteral("first_date"),
                              QStringLiteral("last_date")});
        models.setReadOnly(true);
        models.Open();
        for (models.First(); !models.Eof(); models.Next())
            catalogue << compatibility::CatalogueCar{models.FieldByName(QStringLiteral("mark_name"))->AsString(),
                                                     models.FieldByName(QStringLiteral("model_name"))->AsString(),
                                                     int(models.FieldByName(QStringLiteral("first_date"))->AsInteger()),
                                                     int(models.FieldByName(QStringLiteral("last_date"))->AsInteger())};
    }
    compatibility::CompatibilityCheck check(catalogue);
    TDaoTable rows;
    rows.setDatabase(DM->DataBase);
    rows.setTableName(QStringLiteral("main"));
    rows.setFieldNames({QStringLiteral("id"), QStringLiteral("comment")});
    rows.setSortedBy({QStringLiteral("[id]")});
    rows.setFilter(QStringLiteral("[comment] IS NOT NULL"));
    rows.setFiltered(true);
    rows.setReadOnly(true);
    rows.Open();
    const int total = rows.RecordCount();
    pbProgress->setRange(0, std::max(total, 1));
    pbProgress->setValue(0);
    pbProgress->show();
    const auto hide = qScopeGuard([this] { pbProgress->hide(); });
    int done = 0;
    const TDaoField *id = rows.FieldByName(QStringLiteral("id"));
    const TDaoField *comment = rows.FieldByName(QStringLiteral("comment"));
    for (rows.First(); !rows.Eof(); rows.Next()) {
        check.addRow(id->AsInteger(), comment->AsString());
        if (++done % 5000 == 0) {
            pbProgress->setValue(done);
            QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
        }
    }
    mFindings = check.findings();
    int inRows = 0;
    for (const compatibility::Finding &f : std::as_const(mFindings)) {
        auto *item = new QTreeWidgetItem(lvFindings, {f.entry, f.problems.join(QStringLiteral(", ")),
                                                      f.proposal.isEmpty() ? QStringLiteral("—") : f.proposal, rowList(f.rows)});
        item->setToolTip(0, f.entry);
        item->setToolTip(1, item->text(1));
        item->setToolTip(2, f.proposal);
        inRows += int(f.rows.size());
    }
    lblSummary->setText(mFindings.isEmpty()
                            ? QStringLiteral("Проверени %1 реда: всички записи отговарят на каталога.").arg(total)
                            : QStringLiteral("Проверени %1 реда: %2 записа за поправка, срещани %3 пъти.")
                                  .arg(total).arg(mFindings.size()).arg(inRows));
    if (!mFindings.isEmpty())
        lvFindings->setCurrentItem(lvFindings->topLevelItem(0));
}

void TfCompatibilityCheck::selectionChanged()
{
    const int at = lvFindings->indexOfTopLevelItem(lvFindings->currentItem());
    bFix->setEnabled(at >= 0 && at < mFindings.size() && !mFindings[at].proposal.isEmpty());
}

// Each row is written as the grid writes an edit (its time of change set, the change recorded in
// its history); a locked row, one changed meanwhile by another counter or one whose text would
// grow past the field's width is left as it is and counted.
void TfCompatibilityCheck::bFixClick()
{
    const int at = lvFindings->indexOfTopLevelItem(lvFindings->currentItem());
    if (at < 0 || at >= mFindings.size() || mFindings[at].proposal.isEmpty())
        return;
    const compatibility::Finding f = mFindings[at];
    if (!prompts().confirm(QStringLiteral("Записът „%1“ ще бъде заменен с „%2“ в %3 реда.\nДа продължа ли?")
                               .arg(f.entry, f.proposal)
                               .arg(f.rows.size()),
                           QStringLiteral("Поправка на съвместимостта"), Prompts::Buttons::YesNo, Prompts::Icon::Question))
        return;
    if (MainGrid *g = mainGrid(); g && g->dataSet()->State() != TDaoTable::dsBrowse)
        g->dataSet()->Post();
    int fixed = 0, locked = 0, tooLong = 0, failed = 0, width = 0;
    {
        WaitCursor wait;
        TDaoTable t;
        t.setDatabase(DM->DataBase);
        t.setTableName(QStringLiteral("main"));
        t.setFieldNames({QStringLiteral("id"), QStringLiteral("comment"), QStringLiteral("locked"), QStringLiteral("last_modified")});
        t.setFilter(QStringLiteral("[id]=0"));
        t.setFiltered(true);
        t.Open();
        for (const qint64 id : f.rows) {
            try {
                t.applyFilter(QStringLiteral("[id]=%1").arg(id));
                if (t.IsEmpty())
                    continue;
                TDaoField *comment = t.FieldByName(QStringLiteral("comment"));
                width = comment->Size();
                const QString text = compatibility::replaceEntry(comment->AsString(), f.entry, f.proposal);
                if (text == comment->AsString())
                    continue;
                if (t.FieldByName(QStringLiteral("locked"))->AsBoolean()) {
                    ++locked;
                    continue;
                }
                if (comment->Size() > 0 && text.size() > comment->Size()) {
                    ++tooLong;
                    continue;
                }
                t.Edit();
                comment->setAsString(text);
                t.FieldByName(QStringLiteral("last_modified"))->setAsDateTime(Clock::now());
                t.Post();
                ++fixed;
            } catch (const DaoError &) {
                if (t.State() != TDaoTable::dsBrowse)
                    t.Cancel();
                ++failed;
            }
        }
    }
    QString report = QStringLiteral("Поправени редове: %1.").arg(fixed);
    if (locked)
        report += QStringLiteral("\nЗаключени, оставени без промяна: %1.").arg(locked);
    if (tooLong)
        report += QStringLiteral("\nОставени без промяна, защото текстът би станал по-дълъг от %1 знака: %2.")
                      .arg(width).arg(tooLong);
    if (failed)
        report += QStringLiteral("\nНе са записани (променени междувременно от друго работно място): %1.").arg(failed);
    if (MainGrid *g = mainGrid())
        g->RefreshPickLists();
    prompts().message(report);
    Check();
}
