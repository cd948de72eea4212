// Keys and clicks as a user gives them. On an X display (the xcb platform under Xvfb) they go
// through xdotool, and the X server makes the events, with the text a real keyboard gives each
// key; offscreen, QTest sends the same keys to the widget that has the keyboard focus.
#pragma once

#include <QApplication>
#include <QKeyEvent>
#include <QWheelEvent>
#include <QProcess>
#include <QTest>
#include <QWidget>

namespace UserInput {

inline bool onX()
{
    return QGuiApplication::platformName() == QLatin1String("xcb");
}

inline bool xdotool(const QStringList &arguments)
{
    QProcess p;
    p.start(QStringLiteral("xdotool"), arguments);
    if (!p.waitForStarted(10000))
        return false;
    // The program goes on taking events while the input arrives.
    while (p.state() != QProcess::NotRunning) {
        p.waitForFinished(10);
        QCoreApplication::processEvents();
    }
    QCoreApplication::processEvents();
    return p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
}

// Makes window the active window, as a click on it would.
inline bool activate(QWidget *window)
{
    window->raise();
    window->activateWindow();
    return QTest::qWaitForWindowActive(window);
}

inline QWidget *focusOf(QWidget *window)
{
    QWidget *f = QApplication::focusWidget();
    return f ? f : window;
}

// One key as xdotool names it, for QTest: "Down", "ctrl+End", "alt+Down", "x".
inline void qtestKey(QWidget *target, const QString &name)
{
    QStringList parts = name.split(QLatin1Char('+'));
    const QString keyName = parts.takeLast();
    Qt::KeyboardModifiers mods;
    for (const QString &m : std::as_const(parts)) {
        if (m == QLatin1String("ctrl"))
            mods |= Qt::ControlModifier;
        else if (m == QLatin1String("alt"))
            mods |= Qt::AltModifier;
        else if (m == QLatin1String("shift"))
            mods |= Qt::ShiftModifier;
    }
    static const QHash<QString, Qt::Key> named{
        {QStringLiteral("Down"), Qt::Key_Down},     {QStringLiteral("Up"), Qt::Key_Up},
        {QStringLiteral("Return"), Qt::Key_Return}, {QStringLiteral("Escape"), Qt::Key_Escape},
        {QStringLiteral("Tab"), Qt::Key_Tab},       {QStringLiteral("Home"), Qt::Key_Home},
        {QStringLiteral("End"), Qt::Key_End},       {QStringLiteral("Delete"), Qt::Key_Delete},
        {QStringLiteral("Insert"), Qt::Key_Insert}, {QStringLiteral("F4"), Qt::Key_F4},
        {QStringLiteral("Prior"), Qt::Key_PageUp},  {QStringLiteral("Next"), Qt::Key_PageDown},
        {QStringLiteral("BackSpace"), Qt::Key_Backspace}};
    if (named.contains(keyName)) {
        QTest::keyClick(target, named.value(keyName), mods);
    } else {
        const QChar c = keyName.at(0);
        QTest::keyClick(target, c.toLatin1(), mods);
    }
}

// The keyboard layout of the X display: "us", or "bg" for Cyrillic letters, which then are keys
// of their own as on a shop's keyboard (xdotool would borrow a key for each, and a borrowed key
// can reach the program after it has been given back).
inline bool useLayout(const QString &layout)
{
    static QString current = QStringLiteral("us");
    if (layout == current)
        return true;
    QProcess p;
    p.start(QStringLiteral("setxkbmap"), {QStringLiteral("-layout"), layout});
    if (!p.waitForFinished(10000) || p.exitCode() != 0)
        return false;
    current = layout;
    QTest::qWait(50); // the program reads the new layout
    return true;
}

// Keys by their xdotool names, one after the other, to the window's focus.
inline bool keys(QWidget *window, const QStringList &names)
{
    if (!activate(window))
        return false;
    if (onX())
        return useLayout(QStringLiteral("us"))
               && xdotool(QStringList{QStringLiteral("key"), QStringLiteral("--delay"), QStringLiteral("30")} + names);
    for (const QString &n : names) {
        qtestKey(focusOf(window), n);
        QCoreApplication::processEvents();
    }
    return true;
}

// Text typed key by key.
inline bool type(QWidget *window, const QString &text)
{
    if (!activate(window))
        return false;
    if (onX()) {
        // Runs of Cyrillic letters on the Bulgarian layout, the rest on the US one.
        qsizetype i = 0;
        while (i < text.size()) {
            const bool cyrillic = text.at(i).script() == QChar::Script_Cyrillic;
            qsizetype j = i;
            while (j < text.size() && (text.at(j).script() == QChar::Script_Cyrillic) == cyrillic)
                ++j;
            if (!useLayout(cyrillic ? QStringLiteral("bg") : QStringLiteral("us"))
                || !xdotool({QStringLiteral("type"), QStringLiteral("--delay"), QStringLiteral("30"), QStringLiteral("--"),
                             text.mid(i, j - i)}))
                return false;
            i = j;
        }
        return true;
    }
    for (const QChar c : text) {
        QWidget *target = focusOf(window);
        if (c.unicode() < 128) {
            QTest::keyClicks(target, QString(c));
        } else {
            // A letter of another script: the key has no code of its own here, only its text.
            QKeyEvent press(QEvent::KeyPress, 0, Qt::NoModifier, QString(c));
            QKeyEvent release(QEvent::KeyRelease, 0, Qt::NoModifier, QString(c));
            QApplication::sendEvent(target, &press);
            QApplication::sendEvent(focusOf(window), &release);
        }
        QCoreApplication::processEvents();
    }
    return true;
}

// A left click at pos of widget.
inline bool click(QWidget *widget, const QPoint &pos)
{
    if (!activate(widget->window()))
        return false;
    if (onX()) {
        const QPoint g = widget->mapToGlobal(pos);
        return xdotool({QStringLiteral("mousemove"), QStringLiteral("--sync"), QString::number(g.x()),
                        QString::number(g.y()), QStringLiteral("click"), QStringLiteral("1")});
    }
    QTest::mouseClick(widget, Qt::LeftButton, {}, pos);
    QCoreApplication::processEvents();
    return true;
}

// A left click with Ctrl held, as when choosing several rows.
inline bool ctrlClick(QWidget *widget, const QPoint &pos)
{
    if (!activate(widget->window()))
        return false;
    if (onX()) {
        const QPoint g = widget->mapToGlobal(pos);
        return useLayout(QStringLiteral("us"))
               && xdotool({QStringLiteral("mousemove"), QStringLiteral("--sync"), QString::number(g.x()),
                           QString::number(g.y()), QStringLiteral("keydown"), QStringLiteral("ctrl"),
                           QStringLiteral("click"), QStringLiteral("1"), QStringLiteral("keyup"), QStringLiteral("ctrl")});
    }
    QTest::mouseClick(widget, Qt::LeftButton, Qt::ControlModifier, pos);
    QCoreApplication::processEvents();
    return true;
}

// The mouse wheel turned one notch down over pos of widget.
inline bool wheelDown(QWidget *widget, const QPoint &pos)
{
    if (!activate(widget->window()))
        return false;
    if (onX()) {
        const QPoint g = widget->mapToGlobal(pos);
        return xdotool({QStringLiteral("mousemove"), QStringLiteral("--sync"), QString::number(g.x()),
                        QString::number(g.y()), QStringLiteral("click"), QStringLiteral("5")});
    }
    QWidget *target = widget->childAt(pos) ? widget->childAt(pos) : widget;
    const QPoint local = target->mapFrom(widget, pos);
    QWheelEvent e(local, widget->mapToGlobal(pos), QPoint(), QPoint(0, -120), Qt::NoButton, Qt::NoModifier,
                  Qt::NoScrollPhase, false);
    QApplication::sendEvent(target, &e);
    QCoreApplication::processEvents();
    return true;
}

} // namespace UserInput
