// The report's page on the printer at hand: Letter where the printer takes it, otherwise the
// nearest size it offers, margins no smaller than it prints, and the start-up refusal only when
// no layout can be set at all.
#include "base/DaoError.h"
#include "StandInPrinter.h"
#include "uUniversalReport.h"

#include <QApplication>
#include <QTest>

class TestReportPrinter : public QObject
{
    Q_OBJECT

    static QPageLayout letter() { return TfUniversalReport::designLayout(); }

private slots:
    void cleanup() { TfUniversalReport::setPrinterSource({}); }

    void choosesTheNearestPage()
    {
        // A printer of A4 only (the common one in Bulgaria): A4, the design's 10 mm margins.
        StandInPrinter a4({QPageSize(QPageSize::A4)});
        std::optional<QPageLayout> l = ReportPrinter::choose(a4, letter());
        QVERIFY(l);
        QCOMPARE(l->pageSize().id(), QPageSize::A4);
        QCOMPARE(l->margins(QPageLayout::Millimeter), QMarginsF(10, 10, 10, 10));
        QCOMPARE(l->orientation(), QPageLayout::Portrait);
        // Letter wins where it is offered; of the rest, the nearest comes first.
        StandInPrinter many({QPageSize(QPageSize::A3), QPageSize(QPageSize::Legal), QPageSize(QPageSize::Letter)});
        QCOMPARE(ReportPrinter::choose(many, letter())->pageSize().id(), QPageSize::Letter);
        StandInPrinter noLetter({QPageSize(QPageSize::A3), QPageSize(QPageSize::A5), QPageSize(QPageSize::A4)});
        QCOMPARE(ReportPrinter::choose(noLetter, letter())->pageSize().id(), QPageSize::A4);
        // Margins as large as the printer needs where it needs more.
        StandInPrinter wide({QPageSize(QPageSize::A4)}, QMarginsF(6.35, 12.7, 6.35, 14));
        QCOMPARE(ReportPrinter::choose(wide, letter())->margins(QPageLayout::Millimeter), QMarginsF(10, 12.7, 10, 14));
        // A printer that names no sizes (a file) is asked for the design's page.
        StandInPrinter file({});
        QCOMPARE(ReportPrinter::choose(file, letter())->pageSize().id(), QPageSize::Letter);
        // A driver that refuses a size is asked for the next nearest.
        StandInPrinter picky({QPageSize(QPageSize::A4), QPageSize(QPageSize::A5)});
        picky.refuseAll = true;
        QVERIFY(!ReportPrinter::choose(picky, letter()));
        QCOMPARE(picky.tried.size(), 2);
        StandInPrinter none({QPageSize(QPageSize::A4)}, {}, false);
        QVERIFY(!ReportPrinter::choose(none, letter()));
    }

    void reportWindowTakesThePrintersPage()
    {
        TfUniversalReport::setPrinterSource([] { return std::make_unique<StandInPrinter>(QList<QPageSize>{QPageSize(QPageSize::A4)}); });
        TfUniversalReport onA4;
        QCOMPARE(onA4.pageLayout().pageSize().id(), QPageSize::A4);
        // Only a printer on which no layout can be set stops the window.
        TfUniversalReport::setPrinterSource([] {
            auto p = std::make_unique<StandInPrinter>(QList<QPageSize>{QPageSize(QPageSize::A4)});
            p->refuseAll = true;
            return p;
        });
        QVERIFY_THROWS_EXCEPTION(DaoError, TfUniversalReport());
        try {
            TfUniversalReport refused;
        } catch (const DaoError &e) {
            QCOMPARE(e.message(), QStringLiteral("Драйвера на принтера не поддържа този режим!"));
        }
    }
};

QTEST_MAIN(TestReportPrinter)
#include "tst_reportprinter.moc"
