// The printed inventory report: the print command fills the column slots from the grid and
// shows the preview; the report is written to PDF and read back with pdftotext -bbox: titles as
// the grid shows them, where each slot starts, the special columns, the rows and the footer.
#include "AppFixture.h"
#include "ReportPreview.h"
#include "StandInPrinter.h"
#include "TApplication.h"
#include "TDBGrid.h"
#include "uUniversalReport.h"

#include <QLabel>
#include <QProcess>
#include <QRegularExpression>
#include <QToolButton>

class TestReport : public QObject
{
    Q_OBJECT

    struct Word
    {
        QString text;
        double x; // points from the paper's left edge
        int page;
        double right; // where it ends
    };

    static QList<Word> wordsOf(const QString &pdf)
    {
        QProcess p;
        p.start(QStringLiteral("pdftotext"), {QStringLiteral("-bbox"), pdf, QStringLiteral("-")});
        if (!p.waitForFinished(60000))
            return {};
        const QString html = QString::fromUtf8(p.readAllStandardOutput());
        QList<Word> words;
        int page = -1;
        static const QRegularExpression tag(QStringLiteral("<page |<word xMin=\"([0-9.]+)\" yMin=\"[0-9.]+\" xMax=\"([0-9.]+)\"[^>]*>([^<]*)</word>"));
        for (auto it = tag.globalMatch(html); it.hasNext();) {
            const QRegularExpressionMatch m = it.next();
            if (m.captured(0).startsWith(QLatin1String("<page"))) {
                ++page;
                continue;
            }
            QString text = m.captured(3);
            text.replace(QStringLiteral("&amp;"), QStringLiteral("&"));
            words << Word{text, m.captured(1).toDouble(), page, m.captured(2).toDouble()};
        }
        return words;
    }

    static const Word *find(const QList<Word> &words, const QString &text, int page = 0)
    {
        for (const Word &w : words)
            if (w.text == text && w.page == page)
                return &w;
        return nullptr;
    }

    // Whether a word of the first page starts at x points with the beginning of text.
    static bool begun(const QList<Word> &words, double x, const QString &text)
    {
        return std::any_of(words.cbegin(), words.cend(), [&](const Word &w) { return qAbs(w.x - x) < 1.5 && w.page == 0 && text.startsWith(w.text); });
    }

    // The x, in points, of a slot starting at px pixels of the band (10 mm margin).
    static double slotX(int px) { return 10 / 25.4 * 72 + px * 0.75; }

    // Runs the print command; while the preview is open, writes it to pdf and notes what it saw.
    struct Run
    {
        int pages = -1;
        bool specialShown = false;
        QString pageLabel;
    };
    static Run print(AppFixture &f, const QString &pdf)
    {
        Run run;
        f.prompts.onModal = [&](QDialog *d) {
            auto *preview = qobject_cast<report::ReportPreview *>(d);
            if (!preview)
                return int(QDialog::Rejected);
            TDBGrid *g = fVelostok->DBGrid1;
            run.specialShown = !g->isColumnHidden(g->columnOfField(QStringLiteral("modifier"), 11));
            run.pageLabel = preview->lblPage->text();
            run.pages = preview->writePdf(pdf) ? 1 : 0;
            preview->bLast->click();
            return int(QDialog::Accepted);
        };
        fVelostok->Print3Click();
        return run;
    }

private slots:
    void initTestCase() { initWindowTests(); }
    void cleanup() { TfUniversalReport::setPrinterSource({}); }

    void printedReport()
    {
        AppFixture f;
        for (int i = 1; i <= 120; ++i)
            f.exec(QStringLiteral("INSERT INTO main (user_id, unit_number, unit_name, deliver_name, modifier) "
                                  "VALUES (%1, 'VAL-%1', 'Помпа', 'Бош', 'Иван')").arg(i));
        QVERIFY(f.start());
        TDBGrid *g = fVelostok->DBGrid1;
        const QString pdf = QDir(f.work()).filePath(QStringLiteral("report.pdf"));
        // Default widths: slot 7 (the supplier) starts at 723 pixels, cut at the band's end.
        Run run = print(f, pdf);
        QCOMPARE(run.pages, 1);
        QVERIFY(run.specialShown);
        QVERIFY(g->isColumnHidden(g->columnOfField(QStringLiteral("modifier"), 11))); // hidden again
        QVERIFY(run.pageLabel.startsWith(QStringLiteral("Страница 1 от ")));
        QList<Word> words = wordsOf(pdf);
        QVERIFY(!words.isEmpty());
        QVERIFY(begun(words, slotX(723), QStringLiteral("Доставчик")));
        QVERIFY(find(words, QStringLiteral("Кат.№")));
        QVERIFY(qAbs(find(words, QStringLiteral("Кол."))->x - slotX(346)) < 1.5);
        QVERIFY(find(words, QStringLiteral("VAL-1")));
        QVERIFY(find(words, QStringLiteral("Текущи")));
        QVERIFY(find(words, QStringLiteral("Velostok®")));
        QVERIFY(find(words, QStringLiteral("Page")));
        QVERIFY(find(words, QStringLiteral("2"), 1)); // the footer of page 2
        QVERIFY(find(words, QStringLiteral("VAL-120"), 2) || find(words, QStringLiteral("VAL-120"), 1));
        // Column titles as the grid shows them, a widened column shifting the later ones; narrow
        // columns bring the special ones onto the paper.
        g->Columns()[2].Title = QStringLiteral("Име");
        g->Columns()[2].Width = 277;
        g->columnsChanged();
        run = print(f, pdf);
        words = wordsOf(pdf);
        QVERIFY(find(words, QStringLiteral("Име")));
        QVERIFY(qAbs(find(words, QStringLiteral("Кол."))->x - slotX(396)) < 1.5);
        for (int c = 0; c < g->Columns().size(); ++c)
            g->Columns()[c].Width = 50;
        g->columnsChanged();
        run = print(f, pdf);
        words = wordsOf(pdf);
        QVERIFY(find(words, QStringLiteral("Последна")));
        QVERIFY(find(words, QStringLiteral("False"))); // the deleted flag's cells, in slot 12
        QVERIFY(qAbs(find(words, QStringLiteral("False"))->x - slotX(12 * 52)) < 1.5);
        QVERIFY(find(words, QStringLiteral("Иван")));
        // Shown in the grid: they stay shown.
        fSettings->cbxShowSpecial->setChecked(true);
        fVelostok->Inventory->showSpecialColumns(true);
        print(f, pdf);
        QVERIFY(!g->isColumnHidden(g->columnOfField(QStringLiteral("modifier"), 11)));
        // An empty view: no pages.
        fVelostok->ApplyFilter(QStringLiteral("[user_id]=0"));
        run = print(f, pdf);
        QCOMPARE(run.pageLabel, QStringLiteral("Няма страници"));
    }

    // On the page the printer takes, no word and no ink lies outside the printable area, and the
    // column that the band's end cuts (the supplier's, at 723 of 740 pixels) is still begun.
    void staysWithinThePrintableArea_data()
    {
        QTest::addColumn<QPageSize>("size");
        QTest::addColumn<double>("margin"); // the printer's least side margins, mm
        QTest::newRow("Letter") << QPageSize(QPageSize::Letter) << 4.0;
        QTest::newRow("A4") << QPageSize(QPageSize::A4) << 4.0;
        QTest::newRow("A4, 16 mm") << QPageSize(QPageSize::A4) << 16.0;
    }
    void staysWithinThePrintableArea()
    {
        QFETCH(QPageSize, size);
        QFETCH(double, margin);
        TfUniversalReport::setPrinterSource([=] { return std::make_unique<StandInPrinter>(QList<QPageSize>{size}, QMarginsF(margin, 4, margin, 4)); });
        AppFixture f;
        f.exec(QStringLiteral("INSERT INTO main (user_id, unit_name, comment, deliver_name) VALUES (1, '%1', '%1', 'Бош Сервиз')").arg(QString(60, u'Ж')));
        QVERIFY(f.start());
        const QString pdf = QDir(f.work()).filePath(QStringLiteral("area.pdf"));
        QCOMPARE(print(f, pdf).pages, 1);
        const QRectF area = fUniversalReport->pageLayout().paintRect(QPageLayout::Point);
        const QList<Word> words = wordsOf(pdf);
        for (const Word &w : words) // not even the PDF's text of what the paper does not show
            QVERIFY2(w.x >= area.left() - 0.5 && w.right <= area.right() + 0.5, qPrintable(w.text));
        const double x = area.left() + 723 * std::min(0.75, area.width() / TfUniversalReport::BandWidth);
        QVERIFY(begun(words, x, QStringLiteral("Доставчик")) && begun(words, x, QStringLiteral("Бош")));
        // The page at 72 pixels per inch, as printed: no ink in the margins.
        QProcess::execute(QStringLiteral("pdftoppm"), {QStringLiteral("-r"), QStringLiteral("72"), QStringLiteral("-gray"), QStringLiteral("-singlefile"), pdf, pdf});
        const QImage page(pdf + QStringLiteral(".pgm"));
        int inked = 0;
        for (int py = 0; py < page.height(); ++py)
            for (int px = 0; px < page.width(); ++px)
                inked += (px < area.left() - 1 || px > area.right() + 1) && qGray(page.pixel(px, py)) < 240;
        QVERIFY(page.width() > 500 && inked == 0);
    }
};

int main(int argc, char **argv)
{
    TApplication app(argc, argv);
    TestReport t;
    return QTest::qExec(&t, argc, argv);
}

#include "tst_report.moc"
