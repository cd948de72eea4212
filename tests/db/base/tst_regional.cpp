// Numbers in the regional form.
#include "base/Regional.h"

#include <QRandomGenerator>
#include <QtTest>

#include <cmath>

class TstRegional : public QObject
{
    Q_OBJECT

private slots:
    void formatNumberIsFifteenSignificantDigits();
};

// Whatever shortcut the conversion takes, it writes what the general 15-digit form writes.
void TstRegional::formatNumberIsFifteenSignificantDigits()
{
    auto general = [](double v, QChar sep) {
        QString s = QString::number(v, 'g', 15);
        if (s.contains(QLatin1Char('e'))) {
            s = s.toUpper();
            s.replace(QStringLiteral("E+"), QStringLiteral("E"));
        }
        return s.replace(QLatin1Char('.'), sep);
    };
    QList<double> values{0.0, -0.0, 0.01, -0.01, 0.1, -0.5, 1.0, 10.5, 12.34, 0.285, 1.005, 0.1 + 0.2, 999999999999.99,
                         1e12, 1e12 + 0.5, 123456789012.34, -123456789012.34, 1e15, 1e-5, 2.5e-7, 33.333333333333336,
                         4503599627370496.5, 9.87654321e20};
    QRandomGenerator rng(29);
    for (int i = 0; i < 20000; ++i) {
        values << double(qint64(rng.generate64() % 2000000000000) - 1000000000000) / 100; // whole cents
        values << (rng.generateDouble() - 0.5) * std::pow(10.0, rng.bounded(-6, 16));
    }
    for (const QLocale &l : {QLocale::c(), QLocale(QLocale::Bulgarian, QLocale::Bulgaria)}) {
        regional::setLocale(l);
        for (double v : std::as_const(values))
            QCOMPARE(regional::formatNumber(v), general(v, l.decimalPoint().at(0)));
    }
}

QTEST_GUILESS_MAIN(TstRegional)
#include "tst_regional.moc"
