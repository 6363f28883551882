#include "kaitai/ksycall.h"

KsyCall::KsyCall(const QString &written)
    : text(written)
    , primitive(KsyPrimitive::of(written))
{
    // "name(a, b)": the arguments split at top-level commas.
    const QString ref = written.trimmed();
    const int open = int(ref.indexOf(QLatin1Char('(')));
    if (open < 0 || !ref.endsWith(QLatin1Char(')'))) {
        name = ref;
        return;
    }
    name = ref.left(open).trimmed();
    const QString inner = ref.mid(open + 1, ref.size() - open - 2);
    int depth = 0;
    QChar quote;
    QString current;
    for (const QChar c : inner) {
        if (!quote.isNull()) {
            if (c == quote)
                quote = QChar();
        } else if (c == QLatin1Char('"') || c == QLatin1Char('\'')) {
            quote = c;
        } else if (c == QLatin1Char('(') || c == QLatin1Char('[')) {
            ++depth;
        } else if (c == QLatin1Char(')') || c == QLatin1Char(']')) {
            --depth;
        } else if (c == QLatin1Char(',') && depth == 0) {
            args.emplace_back(current.trimmed());
            current.clear();
            continue;
        }
        current += c;
    }
    if (!current.trimmed().isEmpty())
        args.emplace_back(current.trimmed());
}
