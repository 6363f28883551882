#pragma once

#include "kaitai/ksyprimitive.h"
#include "kaitai/ksytemplateexpression.h"

#include <QString>

#include <vector>

// A type or a processing routine as a template names it, maybe with
// arguments ("u4le", "color_mask(true)", "xor(key)"), split and its
// arguments parsed when the template loads. A call written over several
// lines (a YAML block) ends in a newline; it is split all the same.
struct KsyCall
{
    QString text;
    QString name;
    std::vector<KsyTemplateExpression> args;
    // What the name reads when it is a primitive type (bytes when empty).
    KsyPrimitive primitive;

    KsyCall() : KsyCall(QString()) { }
    explicit KsyCall(const QString &written);
    bool is_empty() const { return text.isEmpty(); }
};
