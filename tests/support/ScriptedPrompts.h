// Prompts for window tests: records every text and answers as the test chose.
#pragma once

#include "Prompts.h"

#include <QDialog>
#include <QStringList>
#include <functional>

class ScriptedPrompts : public Prompts
{
public:
    ScriptedPrompts() { setPrompts(this); }
    ~ScriptedPrompts() override { setPrompts(nullptr); }

    QStringList messages;
    QStringList confirmations; // "title|text"
    QList<bool> confirmAnswers; // taken from the front; OK when empty
    QStringList fileRequests;
    QStringList fileAnswers; // taken from the front; cancel when empty
    QStringList modals;      // objectName of each window shown modally
    // Runs while a window is "shown modally"; its result is the window's. Default: Rejected.
    std::function<int(QDialog *)> onModal;
    QStringList opened;
    bool openAnswer = true; // what "open with the default program" answers

    void message(const QString &text) override { messages << text; }
    bool confirm(const QString &text, const QString &title, Buttons, Icon) override
    {
        confirmations << title + QLatin1Char('|') + text;
        return confirmAnswers.isEmpty() ? true : confirmAnswers.takeFirst();
    }
    QString openFile(const FileRequest &r) override
    {
        fileRequests << QStringLiteral("open|%1|%2|%3").arg(r.filter, r.folder, r.fileName);
        return fileAnswers.isEmpty() ? QString() : fileAnswers.takeFirst();
    }
    QString saveFile(const FileRequest &r) override
    {
        fileRequests << QStringLiteral("save|%1|%2|%3").arg(r.filter, r.folder, r.fileName);
        return fileAnswers.isEmpty() ? QString() : fileAnswers.takeFirst();
    }
    bool printerSetup(QPrinter *) override { return false; }
    bool openDocument(const QString &p) override
    {
        opened << p;
        return openAnswer;
    }
    // The window is really shown (so that its show handlers run) while onModal acts on it.
    int showModal(QDialog *dialog) override
    {
        modals << dialog->objectName();
        dialog->setResult(QDialog::Rejected);
        dialog->show();
        const int result = onModal ? onModal(dialog) : int(QDialog::Rejected);
        if (dialog->isVisible())
            dialog->hide();
        return result;
    }
};
