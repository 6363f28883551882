#pragma once

#include <QString>

#include <algorithm>
#include <vector>

// Where a field is ("header.sections[2].name"), kept as the template's ids
// and element indexes while a parse runs: every object read keeps its own,
// and most are never put in words.
class KsyPath
{
public:
    // A field's id (the template's, which must outlive the path) and, for
    // an array element, its index (-1 otherwise).
    struct Part
    {
        const QString *id = nullptr;
        qint64 index = -1;
    };

    void push(const QString *id) { m_parts.push_back({ id, -1 }); }
    void push(const Part &part) { m_parts.push_back(part); }
    // Of a path that is not empty.
    const Part &last() const { return m_parts.back(); }
    void reverse() { std::reverse(m_parts.begin(), m_parts.end()); }
    void pop() { m_parts.pop_back(); }
    // The last part names an element of its array; -1: the array itself.
    void set_index(qint64 index) { m_parts.back().index = index; }
    void clear() { m_parts.clear(); }

    QString text() const
    {
        QString out;
        for (const Part &part : m_parts) {
            if (!out.isEmpty())
                out += QLatin1Char('.');
            out += *part.id;
            if (part.index >= 0)
                out += QLatin1Char('[') + QString::number(part.index) + QLatin1Char(']');
        }
        return out;
    }

private:
    std::vector<Part> m_parts;
};
