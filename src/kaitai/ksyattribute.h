#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <utility>
#include <vector>

// One field of a template type: an entry of `seq` or of `instances`, as
// written. Expressions are kept as their text; the interpreter parses each
// once. Empty texts mean "not given".
struct KsyAttribute
{
    enum class Repeat { none, eos, expr, until };

    QString id;
    // A type name (maybe with arguments: "color_mask(true)"), empty for bytes.
    QString type;
    // type: switch-on: ... cases: (case expression text, type name; "_" is the default)
    QString switch_on;
    std::vector<std::pair<QString, QString>> cases;

    QString size;
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
    QString process;
    // parent: what a user type read here sees as _parent ("false": none).
    QString parent;

    Repeat repeat = Repeat::none;
    QString repeat_expr;
    QString if_expr;

    // valid: each a single expression, any_of a list.
    QString valid_eq;
    QString valid_min;
    QString valid_max;
    QStringList valid_any_of;
    QString valid_expr;
    bool valid_in_enum = false;

    // Instances only.
    bool is_instance = false;
    QString pos;
    QString io;
    QString value;

    QString doc;
    // Where the entry stands in its file, for messages (1-based).
    int line = 0;
    int column = 0;
};
