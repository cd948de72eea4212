// The program's own help viewer: the user manual (HTML) or the read-me file, with back, forward
// and contents. One window for the whole program, not modal, so that the manual can stay open
// beside the work; like the platform's help viewer it stands for, no modal window blocks it.
#pragma once

#include <QDialog>

class QTextBrowser;
class QToolButton;

class THelpViewer : public QDialog
{
    Q_OBJECT

public:
    explicit THelpViewer(QWidget *parent = nullptr);

    // Shows a file (at a section's anchor when given) and brings the window up.
    void showFile(const QString &path, const QString &section = QString());

    QTextBrowser *Browser;
    QString shownFile; // the file shown last
    QToolButton *bBack;
    QToolButton *bForward;
    QToolButton *bHome;

protected:
    bool event(QEvent *e) override;

private:
    // Makes the window the modal window's own, which that one does not block; with none, its
    // parent's again.
    void followModal();
};

namespace Help {

// The manual: the program's path with ".html" in place of its extension; the read-me file:
// "Readme.txt" in the program's folder.
QString helpFilePath();
QString readmePath();
// The help command: the manual (at section), else the read-me file, else nothing; true when
// something was shown.
bool open(const QString &section = QString());
// The viewer, made on first use.
THelpViewer *viewer();

} // namespace Help
