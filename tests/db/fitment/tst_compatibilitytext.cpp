// Compatibility entries read back from what the picker writes and what people type.
#include "fitment/CompatibilityCheck.h"
#include "fitment/CompatibilityText.h"

#include <QTest>

using compatibility::Entry;

class TestCompatibilityText : public QObject
{
    Q_OBJECT

    // Each entry as "make|model|from-to" ("?" for years that are not years).
    static QString brief(const QList<Entry> &entries)
    {
        QStringList out;
        for (const Entry &e : entries)
            out << QStringLiteral("%1|%2|%3").arg(e.make, e.model,
                                                  e.years == Entry::Years::Bad     ? QStringLiteral("?")
                                                  : e.years == Entry::Years::None ? QString()
                                                                                   : QStringLiteral("%1-%2").arg(e.from).arg(e.to));
        return out.join(QStringLiteral("; "));
    }

private slots:
    void parse_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("entries");
        QTest::newRow("picker") << "VW Golf 1991-1997;" << "VW|Golf|1991-1997";
        QTest::newRow("several, model of words") << "VW Golf IV 1997-2003;BMW 3 Series E46 1998-2006;"
                                                 << "VW|Golf IV|1997-2003; BMW|3 Series E46|1998-2006";
        QTest::newRow("blanks, no final ;") << "  VW   Golf  1991 - 1997 ; Opel Astra G 1998-2004" << "VW|Golf|1991-1997; Opel|Astra G|1998-2004";
        QTest::newRow("open ranges, one year, none") << "Lada Niva 2121 1977-;VW Polo -1998;Fiat Uno 1990;Audi A4"
                                                     << "Lada|Niva 2121|1977-0; VW|Polo|0-1998; Fiat|Uno|1990-1990; Audi|A4|";
        QTest::newRow("models by /") << "VW Golf/Jetta / Vento 1991-1997;" << "VW|Golf|1991-1997; VW|Jetta|1991-1997; VW|Vento|1991-1997";
        QTest::newRow("Cyrillic, line breaks") << "Опел Астра 1998-2004\nЛада Нива;" << "Опел|Астра|1998-2004; Лада|Нива|";
        QTest::newRow("known make of two words") << "Alfa Romeo 147 2000-2010;Land Rover Defender;"
                                                 << "Alfa Romeo|147|2000-2010; Land Rover|Defender|";
        QTest::newRow("years that are not years") << "VW Golf 1991-19975;VW Golf 1997-1991;Peugeot 206 12345"
                                                   << "VW|Golf|?; VW|Golf|?; Peugeot|206|?";
        QTest::newRow("empty picker entries") << "  -; ;;VW Golf -;" << "VW|Golf|0-0";
        QTest::newRow("hyphens inside names") << "Mercedes-Benz C-Class W203 2000-2007" << "Mercedes-Benz|C-Class W203|2000-2007";
    }
    void parse()
    {
        QFETCH(QString, text);
        QFETCH(QString, entries);
        QCOMPARE(brief(compatibility::parse(text, {QStringLiteral("Alfa Romeo"), QStringLiteral("land rover")})), entries);
    }

    // Inside, outside and at the edges of a range; open ranges; no years; case.
    void fits()
    {
        const QList<Entry> e = compatibility::parse(QStringLiteral("VW Golf 1997-2006;vw passat 2003-;Opel Astra;VW Polo 1991-19975"));
        const auto fit = [&](int i, const char *make, const char *model, int year) {
            return e.at(i).fits(QString::fromUtf8(make), QString::fromUtf8(model), year);
        };
        QVERIFY(fit(0, "VW", "Golf", 2003) && fit(0, "vw", "GOLF", 1997) && fit(0, "VW", "Golf", 2006));
        QVERIFY(!fit(0, "VW", "Golf", 1996) && !fit(0, "VW", "Golf", 2007) && !fit(0, "VW", "Polo", 2003));
        QVERIFY(fit(0, "VW", "", 2000) && fit(0, "VW", "", 0) && !fit(0, "Opel", "", 0));
        QVERIFY(fit(1, "VW", "Passat", 2026) && !fit(1, "VW", "Passat", 2002));
        QVERIFY(fit(2, "opel", "astra", 1950) && fit(2, "Opel", "Astra", 0));
        QVERIFY(!fit(3, "VW", "Polo", 1995) && fit(3, "VW", "Polo", 0));
    }

    // Entries against a catalogue: what is wrong with each and what is proposed ("" for none).
    void check_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("found"); // "problems = proposal" per finding, "; " between
        QTest::newRow("years that are not years") << "VW Golf III 1991-19975;"
                                                  << "грешни години = VW Golf III 1991-1997";
        QTest::newRow("Cyrillic make, family of models") << "Опел Астра;" << "непозната марка, непознат модел = Opel Astra";
        QTest::newRow("model by its years") << "VW Golf 1991-1997" << "непознат модел = VW Golf III 1991-1997";
        QTest::newRow("family of two words") << "vw golf  plus" << "непознат модел = VW Golf Plus";
        QTest::newRow("misspelt make, open range") << "Opl Astra G 1999-" << "непозната марка = Opel Astra G 1999-";
        QTest::newRow("nothing near the make") << "Volkswagn Golf 1992-" << "непозната марка = ";
        QTest::newRow("make of two words, one year") << "alfa romeo 14 2003" << "непознат модел = Alfa Romeo 147 2003";
        QTest::newRow("free text and good entries left alone")
            << "Подходящ за всички;VW Golf III 1991-1997;Opel Astra F;Opel" << "";
        QTest::newRow("a list with an unknown model, counted once, no proposal")
            << "VW Golf III/Golf 9 1991-1997" << "непознат модел = ";
    }

    void check()
    {
        QFETCH(QString, text);
        QFETCH(QString, found);
        compatibility::CompatibilityCheck c({{"VW", "Golf II", 1983, 1992}, {"VW", "Golf III", 1991, 1997},
                                             {"VW", "Golf IV", 1997, 2006}, {"Volkswagen Commercial", "", 0, 0},
                                             {"VW", "Golf Plus I", 0, 0}, {"VW", "Golf Plus II", 0, 0},
                                             {"Opel", "Astra F", 1991, 1998}, {"Opel", "Astra G", 1998, 2004},
                                             {"Alfa Romeo", "147", 2001, 2010}});
        c.addRow(7, text);
        c.addRow(9, text);
        QStringList got;
        for (const compatibility::Finding &f : c.findings()) {
            QCOMPARE(f.rows, (QList<qint64>{7, 9}));
            got << f.problems.join(QStringLiteral(", ")) + QStringLiteral(" = ") + f.proposal;
        }
        QCOMPARE(got.join(QStringLiteral("; ")), found);
        for (const compatibility::Finding &f : c.findings())
            if (!f.proposal.isEmpty())
                QCOMPARE(compatibility::replaceEntry(QStringLiteral("x;  ") + text + QStringLiteral("\r\ny"), f.entry, f.proposal),
                         QStringLiteral("x;") + f.proposal + (text.endsWith(QLatin1Char(';')) ? QStringLiteral(";") : QString())
                             + QStringLiteral("\r\ny"));
    }
};

QTEST_GUILESS_MAIN(TestCompatibilityText)
#include "tst_compatibilitytext.moc"
