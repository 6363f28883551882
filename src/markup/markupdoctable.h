#pragma once

#include <QString>

// Documentation texts of markups (a template field's `doc:`), each kept once
// for the whole program: a markup holds a small number naming its text, so
// the thousands of markups one field makes share it, and a markup without
// one costs nothing. Texts are never removed; there are as many as the
// templates applied in a session document. Any thread.
class MarkupDocTable
{
public:
    // 0 for the empty text.
    static quint32 intern(const QString &text);
    // The empty text for 0 and for a number never given out.
    static QString text(quint32 id);
};
