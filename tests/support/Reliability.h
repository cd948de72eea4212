// Figures of the reliability tests for the summary at the end of the test command: each call adds
// a line "WHAT N" to the file VELOSTOK_RELIABILITY_LOG names (tools/test.sh sums them), and
// prints it. WHAT is one of: faults (injected), survived (faults after which the checks held),
// kills, cuts (power cuts simulated), promised (posts and bulk rows reported stored before a
// cut), conflicts (lost races told to the copy that lost them), lost (rows or changes missing
// afterwards; any nonzero figure is a failure too).
#pragma once

#include <QByteArray>
#include <QFile>
#include <QtGlobal>

inline void reliabilityCount(const char *what, qint64 n)
{
    qInfo("reliability: %s %lld", what, static_cast<long long>(n));
    const QByteArray path = qgetenv("VELOSTOK_RELIABILITY_LOG");
    if (path.isEmpty())
        return;
    QFile log(QString::fromLocal8Bit(path));
    if (log.open(QIODevice::Append | QIODevice::Text))
        log.write(QByteArray(what) + ' ' + QByteArray::number(n) + '\n');
}
