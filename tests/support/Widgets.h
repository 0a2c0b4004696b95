#pragma once

#include <QComboBox>
#include <QStringList>

#include <gtest/gtest.h>

/// The child widget of that objectName (a failed check when there is none).
template <typename W> W* child(const QObject& parent, const char* name) {
    W* w = parent.findChild<W*>(QString::fromLatin1(name));
    EXPECT_NE(w, nullptr) << name;
    return w;
}

/// The texts of a combo box's entries, in order.
inline QStringList comboTexts(const QComboBox* combo) {
    QStringList texts;
    for (int i = 0; combo != nullptr && i < combo->count(); ++i)
        texts << combo->itemText(i);
    return texts;
}
