// The skin engine: a skin file (".skn") is a Qt style sheet painted over every window of the
// program and the kinds of controls it names. Setting SkinFile to a file that exists reads it
// and, while the engine is on, shows it at once; a missing file only stores the name. Active on
// shows the current skin (nothing with none read), off gives every window the platform's look.
#pragma once

#include "SkinSheet.h"

#include <QObject>
#include <QString>
#include <QStringList>

class TSkinData : public QObject
{
    Q_OBJECT

public:
    explicit TSkinData(QObject *parent = nullptr);
    ~TSkinData() override;

    // A larger file is no skin: it is not read and the platform's look stays (a style sheet of
    // that size would only stall every window).
    static constexpr qint64 MaxSkinBytes = SkinSheet::MaxBytes;

    const QString &SkinFile() const { return mFile; }
    void setSkinFile(const QString &path);
    bool Active() const { return mActive; }
    void setActive(bool on);
    // Reads the first of files that exists as the skin and, when activate, turns the engine on;
    // with none of them there, nothing changes and false is returned.
    bool useFirstOf(const QStringList &files, bool activate);
    // The style sheet read last (empty when none, or when the file was no skin).
    const QString &styleSheet() const { return mSheet; }

signals:
    // The look of the windows changed (a skin shown or removed).
    void applied();

private:
    void apply();

    QString mFile;
    QString mSheet;
    bool mActive = false;
};

// The program's one handle to the engine; it skins the whole application.
extern TSkinData *SkinData1;
