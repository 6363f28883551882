#pragma once

#include "kaitai/ksycall.h"
#include "kaitai/ksytemplateexpression.h"

#include <QByteArray>
#include <QString>

#include <utility>
#include <vector>

// One field of a template type: an entry of `seq` or of `instances`, as
// written, its expressions parsed when the template loads. Empty texts mean
// "not given".
struct KsyAttribute
{
    enum class Repeat { none, eos, expr, until };

    QString id;
    // A type name (maybe with arguments: "color_mask(true)"), empty for bytes.
    KsyCall type;
    // type: switch-on: ... cases: (case expression, type; "_" is the default)
    KsyTemplateExpression switch_on;
    std::vector<std::pair<KsyTemplateExpression, KsyCall>> cases;

    KsyTemplateExpression size;
    bool size_eos = false;
    int terminator = -1;
    bool include = false;
    bool consume = true;
    bool eos_error = true;
    int pad_right = -1;
    QString encoding;
    bool has_contents = false;
    QByteArray contents;
    QString enum_name;
    KsyCall process;
    // parent: what a user type read here sees as _parent ("false": none).
    KsyTemplateExpression parent;

    Repeat repeat = Repeat::none;
    KsyTemplateExpression repeat_expr;
    KsyTemplateExpression if_expr;

    // valid: each a single expression, any_of a list.
    KsyTemplateExpression valid_eq;
    KsyTemplateExpression valid_min;
    KsyTemplateExpression valid_max;
    std::vector<KsyTemplateExpression> valid_any_of;
    KsyTemplateExpression valid_expr;
    bool valid_in_enum = false;

    // Instances only.
    bool is_instance = false;
    KsyTemplateExpression pos;
    KsyTemplateExpression io;
    KsyTemplateExpression value;

    QString doc;
    // Where the entry stands in its file, for messages (1-based).
    int line = 0;
    int column = 0;
};
