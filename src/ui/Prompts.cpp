// The Qt dialogs behind Prompts.
#include "Prompts.h"

#include <QApplication>
#include <QDesktopServices>
#include <QDialog>
#include <QFileDialog>
#include <QMessageBox>
#include <QPrintDialog>
#include <QPrinter>
#include <QUrl>

namespace {

class QtPrompts final : public Prompts
{
public:
    void message(const QString &text) override
    {
        QMessageBox box(QMessageBox::NoIcon, QApplication::applicationDisplayName(), text,
                        QMessageBox::Ok, QApplication::activeWindow());
        box.exec();
    }

    bool confirm(const QString &text, const QString &title, Buttons buttons, Icon icon) override
    {
        const bool yesNo = buttons == Buttons::YesNo;
        QMessageBox box(icon == Icon::Question ? QMessageBox::Question
                        : icon == Icon::None   ? QMessageBox::NoIcon
                                               : QMessageBox::Warning,
                        title, text,
                        yesNo ? (QMessageBox::Yes | QMessageBox::No) : (QMessageBox::Ok | QMessageBox::Cancel),
                        QApplication::activeWindow());
        box.setDefaultButton(yesNo ? QMessageBox::Yes : QMessageBox::Ok);
        const int r = box.exec();
        return r == QMessageBox::Ok || r == QMessageBox::Yes;
    }

    QString openFile(const FileRequest &r) override
    {
        QFileDialog dlg(QApplication::activeWindow(), r.title, r.folder, qtFileFilter(r.filter));
        dlg.setAcceptMode(QFileDialog::AcceptOpen);
        dlg.setFileMode(r.mustExist ? QFileDialog::ExistingFile : QFileDialog::AnyFile);
        dlg.setOption(QFileDialog::ReadOnly, false);
        if (!r.fileName.isEmpty())
            dlg.selectFile(r.fileName);
        if (!r.defaultSuffix.isEmpty())
            dlg.setDefaultSuffix(r.defaultSuffix);
        return dlg.exec() == QDialog::Accepted && !dlg.selectedFiles().isEmpty() ? dlg.selectedFiles().first() : QString();
    }

    QString saveFile(const FileRequest &r) override
    {
        QFileDialog dlg(QApplication::activeWindow(), r.title, r.folder, qtFileFilter(r.filter));
        dlg.setAcceptMode(QFileDialog::AcceptSave);
        dlg.setFileMode(QFileDialog::AnyFile);
        // The commands ask about an existing file themselves, in their own words: one question.
        dlg.setOption(QFileDialog::DontConfirmOverwrite);
        if (!r.fileName.isEmpty())
            dlg.selectFile(r.fileName);
        if (!r.defaultSuffix.isEmpty())
            dlg.setDefaultSuffix(r.defaultSuffix);
        return dlg.exec() == QDialog::Accepted && !dlg.selectedFiles().isEmpty() ? dlg.selectedFiles().first() : QString();
    }

    bool printerSetup(QPrinter *printer) override
    {
        QPrintDialog dlg(printer, QApplication::activeWindow());
        return dlg.exec() == QDialog::Accepted;
    }

    bool openDocument(const QString &pathOrUrl) override
    {
        const QUrl url = pathOrUrl.contains(QLatin1String("://")) || pathOrUrl.startsWith(QLatin1String("mailto:"))
                             ? QUrl(pathOrUrl)
                             : QUrl::fromLocalFile(pathOrUrl);
        return QDesktopServices::openUrl(url);
    }

    int showModal(QDialog *dialog) override { return dialog->exec(); }
};

Prompts *installed = nullptr;

} // namespace

Prompts &prompts()
{
    static QtPrompts qt;
    return installed ? *installed : qt;
}

void setPrompts(Prompts *p)
{
    installed = p;
}

QString qtFileFilter(const QString &filter)
{
    const QStringList parts = filter.split(QLatin1Char('|'));
    QStringList out;
    for (int i = 0; i + 1 < parts.size(); i += 2) {
        QString patterns = parts.at(i + 1);
        patterns.replace(QLatin1Char(';'), QLatin1Char(' '));
        out << QStringLiteral("%1 (%2)").arg(parts.at(i), patterns);
    }
    return out.join(QStringLiteral(";;"));
}
