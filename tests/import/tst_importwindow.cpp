// The import window over a supplier's price list: the heading row and columns proposed, the
// preview, the refused rows saved, the import, the mapping remembered, and the undo.
#include "AppFixture.h"
#include "base/Clock.h"
#include "uImport.h"

#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QSpinBox>
#include <QTableWidget>

class TestImportWindow : public QObject
{
    Q_OBJECT

    static QString rows(AppFixture &f)
    {
        QStringList out;
        const QVariantList numbers = f.column(QStringLiteral("SELECT unit_number FROM main ORDER BY id"));
        const QVariantList prices = f.column(QStringLiteral("SELECT price FROM main ORDER BY id"));
        const QVariantList users = f.column(QStringLiteral("SELECT user_id FROM main ORDER BY id"));
        for (qsizetype i = 0; i < numbers.size(); ++i)
            out << QStringLiteral("%1:%2:%3").arg(users.at(i).toString(), numbers.at(i).toString()).arg(prices.at(i).toDouble());
        return out.join(QLatin1Char(' '));
    }

private slots:
    void initTestCase()
    {
        initWindowTests();
        Clock::setSource([] { return QDateTime(QDate(2026, 12, 11), QTime(10, 0, 0)); });
    }
    void cleanupTestCase() { Clock::setSource({}); }

    void priceListImportedAndUndone()
    {
        AppFixture f;
        f.exec(QStringLiteral("INSERT INTO main (user_id, unit_number, price, deleted, locked) VALUES "
                              "(1, 'W712', 12.5, FALSE, FALSE), (2, 'OC90', 8, FALSE, FALSE)"));
        QVERIFY(f.start());
        // A supplier's list in code page 1251: a title line, then the headings.
        const QString list = f.work() + QStringLiteral("/ценова листа.csv");
        QFile out(list);
        QVERIFY(out.open(QIODevice::WriteOnly));
        out.write(QStringEncoder("windows-1251")
                      .encode(QStringLiteral("Ценова листа 12.2026;;;\r\nКод;Описание;Цена без ДДС;Бележка\r\n"
                                             "w712 ;Маслен филтър;13,5;\r\nHU727;Въздушен филтър;21;ново\r\n"
                                             "C2433;Горивен филтър;12,5 лв\r\n")));
        out.close();
        const QString refused = f.work() + QStringLiteral("/отказани.csv");
        f.prompts.fileAnswers = QStringList{list, refused};
        QString counts, preview;
        QStringList proposed;
        f.prompts.onModal = [&](QDialog *d) {
            auto *w = qobject_cast<TfImport *>(d);
            if (!w)
                return int(QDialog::Rejected);
            w->bBrowse->click();
            proposed << QString::number(w->eHeadingRow->value()) << QString::number(w->cbxEncoding->currentIndex())
                     << w->mapping().join(QLatin1Char(','));
            w->setField(3, QStringLiteral("comment")); // a choice of the user's, remembered below
            w->bPreview->click();
            counts = w->lCounts->text();
            preview = w->lvPreview->item(0, 3)->text() + QLatin1Char('|') + w->lvPreview->item(1, 3)->text();
            w->bSaveRefused->click();
            w->bImport->click();
            return int(QDialog::Rejected);
        };
        fVelostok->Import1Click();
        QCOMPARE(proposed, QStringList({QStringLiteral("2"), QStringLiteral("1"), QStringLiteral("unit_number,unit_name,price,")}));
        QCOMPARE(counts, QStringLiteral("Добавят се: 1   Променят се: 1   Без промяна: 0   Пропускат се: 0   Отказани: 1"));
        QCOMPARE(preview, QStringLiteral("ред 5, колона „Цена без ДДС“: очаква се число, намерено „12,5 лв“|") + QStringLiteral("Наименование:  → Маслен филтър; Цена: 12,5 → 13,5"));
        QFile saved(refused);
        QVERIFY(saved.open(QIODevice::ReadOnly));
        QCOMPARE(QStringDecoder("windows-1251").decode(saved.readAll()),
                 QStringLiteral("Код;Описание;Цена без ДДС;Бележка;Причина\r\nC2433;Горивен филтър;12,5 лв;;"
                                "ред 5, колона „Цена без ДДС“: очаква се число, намерено „12,5 лв“\r\n"));
        QCOMPARE(f.prompts.messages.last(), QStringLiteral("Вмъкването завърши: добавени 1 и променени 1 реда."));
        QCOMPARE(rows(f), QStringLiteral("1:W712:13.5 2:OC90:8 3:HU727:21"));
        QCOMPARE(f.scalar(QStringLiteral("SELECT comment FROM main WHERE unit_number = 'HU727'")).toString(), QStringLiteral("ново"));
        QCOMPARE(DM->tblMain->RecordCount(), 3); // the grid shows the new row

        // The same headings again: the mapping chosen last time.
        QStringList recalled;
        f.prompts.fileAnswers = QStringList{list};
        f.prompts.onModal = [&](QDialog *d) {
            if (auto *w = qobject_cast<TfImport *>(d)) {
                w->bBrowse->click();
                recalled = w->mapping();
            }
            return int(QDialog::Rejected);
        };
        fVelostok->Import1Click();
        QCOMPARE(recalled.join(QLatin1Char(',')), QStringLiteral("unit_number,unit_name,price,comment"));

        fVelostok->UndoImport1Click();
        QCOMPARE(f.prompts.messages.last(), QStringLiteral("Върнати са 1 променени реда, премахнати са 1 добавени."));
        QCOMPARE(rows(f), QStringLiteral("1:W712:12.5 2:OC90:8"));
        fVelostok->UndoImport1Click();
        QCOMPARE(f.prompts.messages.last(), QStringLiteral("Последното вмъкване от файл вече е отменено."));
    }
};

QTEST_MAIN(TestImportWindow)
#include "tst_importwindow.moc"
