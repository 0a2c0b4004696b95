#include "settings/ui/DigitsOnlyKeyFilter.h"

#include <QKeyEvent>
#include <QLineEdit>
#include <QRegularExpressionValidator>

void DigitsOnlyKeyFilter::install(QLineEdit* edit, const QString& pastePattern) {
    edit->installEventFilter(this);
    // Pasted and dropped text goes through the validator, not the key filter.
    edit->setValidator(new QRegularExpressionValidator(QRegularExpression(pastePattern), edit));
}

bool DigitsOnlyKeyFilter::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() != QEvent::KeyPress)
        return QObject::eventFilter(watched, event);
    const auto* key = static_cast<QKeyEvent*>(event);
    if (key->matches(QKeySequence::Paste) || key->matches(QKeySequence::Copy) ||
        key->matches(QKeySequence::Cut) || key->matches(QKeySequence::SelectAll) ||
        key->matches(QKeySequence::Undo) || key->matches(QKeySequence::Redo))
        return false;
    // Only typed characters are filtered: keys that type nothing (arrows, Delete, Home, End),
    // control keys whose text is a control character (Tab, Return, Escape, Backspace) and
    // shortcuts held with Ctrl, Alt or Meta go on to the box and the dialog.
    if (key->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier))
        return false;
    const QString text = key->text();
    if (text.isEmpty())
        return false;
    for (QChar c : text)
        if (!c.isPrint())
            return false;
    for (QChar c : text)
        if (c < u'0' || c > u'9')
            return true; // discard
    return false;
}
