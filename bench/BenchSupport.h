// What the benchmarks share: timing, the median, one report line, and prompts that answer
// everything at once so that commands run unattended.
#pragma once

#include "Prompts.h"

#include <QDialog>
#include <QElapsedTimer>
#include <QStringList>
#include <algorithm>
#include <cstdio>
#include <functional>
#include <vector>

namespace bench {

inline double msSince(const QElapsedTimer &t)
{
    return double(t.nsecsElapsed()) / 1e6;
}

inline double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

// One line: what, our time, the baseline's, their ratio and the target.
inline void report(const char *what, double ours, double base, const char *target)
{
    std::printf("%-58s %9.1f ms   baseline %9.1f ms   ratio %5.2f   (target %s)\n", what, ours, base, ours / base, target);
}

// Confirms everything, records messages, and lets a benchmark act on a window shown modally.
class Unattended : public Prompts
{
public:
    QStringList messages;
    std::function<int(QDialog *)> onModal;
    void message(const QString &text) override { messages << text; }
    bool confirm(const QString &, const QString &, Buttons, Icon) override { return true; }
    QString openFile(const FileRequest &) override { return {}; }
    QString saveFile(const FileRequest &) override { return {}; }
    bool printerSetup(QPrinter *) override { return false; }
    bool openDocument(const QString &) override { return false; }
    int showModal(QDialog *d) override { return onModal ? onModal(d) : 0; }
};

} // namespace bench
