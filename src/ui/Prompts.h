// Every message box, confirmation, file dialog, printer dialog, modal showing of a window and
// "open with the default program" of the application goes through the installed Prompts, so
// that tests can answer them.
#pragma once

#include <QString>

class QDialog;
class QPrinter;
class QWidget;

class Prompts
{
public:
    virtual ~Prompts() = default;

    // A plain notice with an OK button.
    virtual void message(const QString &text) = 0;
    // A confirmation with OK and Cancel (or the given buttons); true only for OK / Yes.
    enum class Buttons { OkCancel, YesNo };
    enum class Icon { Warning, Question, None };
    virtual bool confirm(const QString &text, const QString &title = QStringLiteral("Предупреждение"),
                         Buttons buttons = Buttons::OkCancel, Icon icon = Icon::Warning) = 0;
    // File dialogs: the chosen full path, or empty when cancelled. filter is in the
    // "Description|*.ext|Description|*.*" form.
    struct FileRequest
    {
        QString title;
        QString filter;
        QString folder;
        QString fileName;
        QString defaultSuffix;
        bool mustExist = true;
    };
    virtual QString openFile(const FileRequest &request) = 0;
    virtual QString saveFile(const FileRequest &request) = 0;
    // The printer set-up dialog; true when confirmed.
    virtual bool printerSetup(QPrinter *printer) = 0;
    // Opens a document or link with its registered program; false when that failed.
    virtual bool openDocument(const QString &pathOrUrl) = 0;
    // Shows a window modally and returns its result (QDialog::Accepted / Rejected).
    virtual int showModal(QDialog *dialog) = 0;
};

// The installed prompts: the Qt dialogs unless a test installed others.
Prompts &prompts();
// Installs p (not owned); nullptr restores the Qt dialogs.
void setPrompts(Prompts *p);

// Turns "Description|*.a;*.b|Other|*.*" into the Qt form "Description (*.a *.b);;Other (*.*)".
QString qtFileFilter(const QString &filter);
