// The history windows: a row's history with its revert (refused after a newer change, and a
// conflict with another counter), the purged rows restored after the administrator check, and
// the retention setting guarded the same way.
#include "AppFixture.h"
#include "base/Clock.h"
#include "dataset/TDaoDatabase.h"
#include "uPass.h"
#include "uPurgedRows.h"
#include "uRowHistory.h"

#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTableWidget>

class TestHistoryWindows : public QObject
{
    Q_OBJECT

    QString mPassword; // what the administrator prompt is answered with

    // While a window is shown: fPass answers password, the window named name runs act.
    void answer(AppFixture &f, const QString &name, const QString &password, std::function<void(QDialog *)> act = {})
    {
        mPassword = password;
        f.prompts.onModal = [=, this](QDialog *d) {
            if (d == fPass) {
                fPass->ePass->setText(mPassword);
                return int(QDialog::Accepted);
            }
            if (d->objectName() == name && act)
                act(d);
            return int(QDialog::Rejected);
        };
    }

    // The lines of a table as "cell|cell|...".
    static QStringList lines(const QTableWidget *t)
    {
        QStringList out;
        for (int r = 0; r < t->rowCount(); ++r) {
            QStringList cells;
            for (int c = 0; c < t->columnCount(); ++c)
                cells << (t->item(r, c) ? t->item(r, c)->text() : QString());
            out << cells.join(QLatin1Char('|'));
        }
        return out;
    }

    static void setField(const char *field, const QVariant &value)
    {
        DM->tblMain->Edit();
        DM->tblMain->FieldByName(QLatin1String(field))->setValue(value);
        DM->tblMain->Post();
    }

private slots:
    void initTestCase()
    {
        initWindowTests();
        Clock::setSource([] { return QDateTime(QDate(2026, 12, 9), QTime(11, 30, 0)); });
    }
    void cleanupTestCase() { Clock::setSource({}); }

    void revertAndItsRefusals()
    {
        AppFixture f;
        f.exec(QStringLiteral("INSERT INTO main (user_id, unit_number, quantity, price, deleted, locked) "
                              "VALUES (1, 'W712', 3, 12.5, FALSE, FALSE)"));
        QVERIFY(f.start());
        // Another program's price (a file's history keeps it to 15 digits), then the grid's.
        f.exec(QStringLiteral("UPDATE main SET price = price * 1.1"));
        fVelostok->Records->Rollback1Click();
        setField("quantity", 5.0);
        QStringList shown;
        answer(f, QStringLiteral("fRowHistory"), QString(), [&](QDialog *d) {
            auto *w = static_cast<TfRowHistory *>(d);
            shown = lines(w->lvHistory);
            w->lvHistory->selectRow(1); // the price change
            w->bRevert->click();
            shown << lines(w->lvHistory).first();
            w->lvHistory->selectRow(2); // the same change again: the price is no longer its own
            w->bRevert->click();
        });
        fVelostok->action(QStringLiteral("History2"))->trigger();
        QCOMPARE(f.prompts.modals, QStringList{QStringLiteral("fRowHistory")});
        QCOMPARE(shown.value(0).section(QLatin1Char('|'), 2), QStringLiteral("Променен|Кол.|3|5"));
        QCOMPARE(shown.value(1).section(QLatin1Char('|'), 1), QStringLiteral("друга програма|Променен|Цена|12,5|13,75"));
        QCOMPARE(shown.last().section(QLatin1Char('|'), 2), QStringLiteral("Върнат|Цена|13,75|12,5"));
        QCOMPARE(f.prompts.messages,
                 QStringList{QStringLiteral("Полето „Цена“ е променено след тази промяна (сега: „12,5“), затова промяната не може да бъде върната.")});
        QCOMPARE(f.scalar(QStringLiteral("SELECT price FROM main")).toDouble(), 12.5);
        QCOMPARE(f.scalar(QStringLiteral("SELECT count(*) FROM history WHERE kind = 9")).toInt(), 1);

        // Another counter changed the quantity since this grid read it: the post's own check
        // refuses, and nothing is recorded.
        f.exec(QStringLiteral("UPDATE main SET quantity = 9"));
        f.prompts.messages.clear();
        answer(f, QStringLiteral("fRowHistory"), QString(), [&](QDialog *d) {
            auto *w = static_cast<TfRowHistory *>(d);
            for (int r = 0; r < w->lvHistory->rowCount(); ++r)
                if (w->lvHistory->item(r, 3)->text() == QStringLiteral("Кол.") && w->lvHistory->item(r, 5)->text() == QStringLiteral("5"))
                    w->lvHistory->selectRow(r);
            w->bRevert->click();
        });
        fVelostok->action(QStringLiteral("History2"))->trigger();
        QCOMPARE(f.prompts.messages.size(), 1);
        QCOMPARE(f.scalar(QStringLiteral("SELECT quantity FROM main")).toInt(), 9);
        QCOMPARE(f.scalar(QStringLiteral("SELECT count(*) FROM history WHERE kind = 9")).toInt(), 1);
        QCOMPARE(DM->tblMain->State(), TDaoTable::dsBrowse);
    }

    void purgedRowsComeBack()
    {
        AppFixture f;
        f.exec(QStringLiteral("UPDATE users SET password = 'pw' WHERE user_name = 'Admin'"));
        f.exec(QStringLiteral("INSERT INTO main (user_id, unit_number, unit_name, price, deleted, locked) VALUES "
                              "(1, 'W712', 'Филтър', 12.5, FALSE, FALSE), (2, 'GDB1330', 'Накладки', 48, TRUE, TRUE)"));
        f.exec(QStringLiteral("UPDATE main SET modifier = 'Иван' WHERE user_id = 2"));
        const qint64 purgedId = f.scalar(QStringLiteral("SELECT id FROM main WHERE user_id = 2")).toLongLong();
        QVERIFY(f.start(true));
        answer(f, QString(), QStringLiteral("pw"));
        fVelostok->Records->Erase2Click();
        QCOMPARE(f.scalar(QStringLiteral("SELECT count(*) FROM main")).toInt(), 1);

        QStringList found;
        answer(f, QStringLiteral("fPurgedRows"), QStringLiteral("wrong"), [&](QDialog *d) {
            auto *w = static_cast<TfPurgedRows *>(d);
            found << QString::number(w->lvPurged->rowCount());
            w->tbxSearchValue->setText(QStringLiteral("zzz"));
            w->load();
            found << QString::number(w->lvPurged->rowCount());
            w->tbxSearchValue->setText(QStringLiteral("накл"));
            w->load();
            found << lines(w->lvPurged);
            w->bRestore->click(); // a wrong password: refused
            found << QString::number(f.scalar(QStringLiteral("SELECT count(*) FROM main")).toInt());
            mPassword = QStringLiteral("pw");
            w->bRestore->click();
            found << QString::number(w->lvPurged->rowCount()); // restored rows leave the list
        });
        fVelostok->action(QStringLiteral("Purged1"))->trigger();
        QCOMPARE(found.mid(0, 2), (QStringList{QStringLiteral("1"), QStringLiteral("0")}));
        QCOMPARE(found.value(2).section(QLatin1Char('|'), 2), QStringLiteral("GDB1330|Накладки||48||"));
        QCOMPARE(found.mid(3), (QStringList{QStringLiteral("1"), QStringLiteral("0")}));
        QCOMPARE(f.prompts.messages.last(), QStringLiteral("Редът е възстановен с № 2."));
        // A new row with a new key and the next number, not deleted, its other fields as they were.
        TDaoTable *t = DM->tblMain;
        QCOMPARE(f.scalar(QStringLiteral("SELECT count(*) FROM main WHERE unit_number = 'GDB1330' AND id <> %1").arg(purgedId)).toInt(), 1);
        QCOMPARE(t->FieldByName(QStringLiteral("unit_number"))->AsString(), QStringLiteral("GDB1330"));
        QVERIFY(t->FieldByName(QStringLiteral("user_id"))->AsInteger() == 2 && t->FieldByName(QStringLiteral("price"))->AsFloat() == 48
                && !t->FieldByName(QStringLiteral("deleted"))->AsBoolean() && t->FieldByName(QStringLiteral("locked"))->AsBoolean()
                && t->FieldByName(QStringLiteral("modifier"))->IsNull());
        const QList<ChangeLog::Entry> entries = DM->DataBase->changeLog()->entriesOf(DM->tblMain->FieldByName(QStringLiteral("id"))->AsInteger());
        QCOMPARE(entries.first().kind, ChangeLog::Kind::Restore);
        QCOMPARE(entries.first().who, DM->DataBase->computerName()); // whoever restores it
        QCOMPARE(entries.first().fields.last().field, QStringLiteral("id"));
        QCOMPARE(entries.first().fields.last().before.toLongLong(), purgedId);
    }

    // The number of days is the administrator's: asked once per showing of the settings window.
    void retentionSetting()
    {
        AppFixture f;
        f.exec(QStringLiteral("UPDATE users SET password = 'pw' WHERE user_name = 'Admin'"));
        QVERIFY(f.start());
        QSpinBox *days = fSettings->eHistoryDays;
        QCOMPARE(settings().historyDays(), 365);
        answer(f, QString(), QStringLiteral("wrong"));
        fSettings->FormShow();
        days->setValue(30);
        QCOMPARE(days->value(), 365);
        QCOMPARE(settings().historyDays(), 365);
        answer(f, QString(), QStringLiteral("pw"));
        days->setValue(30);
        f.prompts.modals.clear();
        days->setValue(0);
        QCOMPARE(f.prompts.modals, QStringList());
        QCOMPARE(settings().historyDays(), 0);
    }
};

QTEST_MAIN(TestHistoryWindows)
#include "tst_historywindows.moc"
