#pragma once

#include <QString>

#include <vector>

// Where a field is ("header.sections[2].name"), kept as the template's ids
// and element indexes while a parse runs: every object read keeps its own,
// and most are never put in words.
class KsyPath
{
public:
    // `id` must outlive the path: the template's.
    void push(const QString *id) { m_parts.push_back({ id, -1 }); }
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
    struct Part
    {
        const QString *id;
        qint64 index;
    };
    std::vector<Part> m_parts;
};
