#pragma once

#include "kaitai/ksyexpression.h"
#include "kaitai/ksyvalue.h"

#include <QCoreApplication>

class KsyContext;

// Evaluates expressions over a context. Never throws: a type mismatch, a
// division by zero or an unknown name comes back as an error value.
class KsyEvaluator
{
    Q_DECLARE_TR_FUNCTIONS(KsyEvaluator)

public:
    explicit KsyEvaluator(KsyContext *context) : m_context(context) { }

    KsyValue evaluate(const KsyExpression &expression);
    KsyValue evaluate(const KsyExpression::Node &node);

    // The comparison used by ==, switch-on and valid: numbers by value, enums
    // by their integer, strings and bytes by content. Error when the kinds
    // cannot be compared.
    static KsyValue equals(const KsyValue &a, const KsyValue &b);
    // Negative, zero or positive; *error when the kinds cannot be ordered.
    static int compare(const KsyValue &a, const KsyValue &b, QString *error);
    // A binary operator on two values already evaluated.
    static KsyValue binary(const QString &op, const KsyValue &a, const KsyValue &b);
    // Decodes bytes in a named encoding (ASCII, UTF-8, UTF-16LE/BE,
    // ISO-8859-1, and whatever else QStringDecoder knows); error for an
    // unknown name.
    static KsyValue decode(const QByteArray &bytes, const QString &encoding);

private:
    KsyValue method(const KsyValue &target, const QString &name, const std::vector<KsyValue> &args);

    KsyContext *m_context;
};
