// The typed-character rules, as event filters on their boxes.
#include "KeyRules.h"

#include "TDBGrid.h"
#include "dataset/TDaoField.h"

#include <QKeyEvent>

namespace {

class Rule : public QObject
{
public:
    Rule(QWidget *box, std::function<bool(QChar)> passes) : QObject(box), mPasses(std::move(passes))
    {
        box->installEventFilter(this);
    }

    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() != QEvent::KeyPress)
            return false;
        const auto *k = static_cast<QKeyEvent *>(event);
        if (!TDBGrid::typesCharacter(k) || k->key() == Qt::Key_Escape)
            return false;
        // Shortcuts and editing keys (X gives Ctrl+A the text U+0001) are not typed characters.
        const QChar c = k->text().at(0);
        if ((k->modifiers() & (Qt::ControlModifier | Qt::MetaModifier)) || !c.isPrint())
            return false;
        return !mPasses(c);
    }

private:
    std::function<bool(QChar)> mPasses;
};

} // namespace

void KeyRules::digitsOnly(QWidget *box)
{
    new Rule(box, [](QChar c) { return c >= QLatin1Char('0') && c <= QLatin1Char('9'); });
}

void KeyRules::numberOf(QWidget *box, std::function<const TDaoField *()> field)
{
    new Rule(box, [field = std::move(field)](QChar c) {
        if (c == QLatin1Char('.'))
            return true;
        const TDaoField *f = field();
        return !f || f->IsValidChar(c);
    });
}
