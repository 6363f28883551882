#pragma once

#include "kaitai/ksyexpression.h"

#include <QString>

#include <memory>

// An expression of a template (`size`, `if`, `repeat-expr`, a case, ...) as
// written and as parsed when the template loads, so a run evaluates the tree
// and never reads the text again. A text that is no expression keeps why:
// the run reports it when it comes to evaluate it, so a mistake in a field
// the file never reaches stops nothing. Empty text: not given.
struct KsyTemplateExpression
{
    QString text;
    // Null when the text is not an expression.
    std::shared_ptr<const KsyExpression> parsed;
    QString error;

    KsyTemplateExpression() = default;
    explicit KsyTemplateExpression(const QString &written)
        : text(written)
    {
        parsed = KsyExpression::parse(text, &error);
    }
    bool is_empty() const { return text.isEmpty(); }
};
