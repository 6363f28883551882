#pragma once

#include "kaitai/ksyvalue.h"

#include <QCoreApplication>
#include <QString>
#include <QStringList>

#include <memory>
#include <vector>

// One parsed expression of the template language (`len - 4`,
// `_.type == "IEND" or _io.eof`, `header_type::core.to_i`): a syntax tree built
// once and evaluated by KsyEvaluator as often as needed. Parsing never throws:
// a malformed text, or one deeper than max_depth, yields null with the reason.
class KsyExpression
{
    Q_DECLARE_TR_FUNCTIONS(KsyExpression)

public:
    struct Node
    {
        enum class Op {
            literal,   // value
            name,      // name: a field, parameter, instance or _root/_parent/_io/_index/_
            enum_ref,  // path: enum path, the last entry the value's identifier
            member,    // args[0].name
            call,      // args[0].name(args[1..])
            index,     // args[0][args[1]]
            unary,     // name ("-", "~", "not") args[0]
            binary,    // args[0] name args[1]
            ternary,   // args[0] ? args[1] : args[2]
            array,     // [args...]
            size_of,   // sizeof<name>, bitsizeof<name> (name prefixed with "bit:")
            cast       // args[0].as<name>
        };
        Op op = Op::literal;
        QString name;
        QStringList path;
        KsyValue value;
        std::vector<std::unique_ptr<Node>> args;
        // Levels of nodes from this one down to its deepest leaf.
        int height = 1;
    };

    // Nesting and chaining of an expression, counted in levels of its tree
    // (`1 + 2 + 3` has three): evaluating and freeing the tree recurse once
    // per level, so deeper expressions are refused when parsed.
    static constexpr int max_depth = 256;

    // Null with *error set when the text is not an expression.
    static std::shared_ptr<const KsyExpression> parse(const QString &text, QString *error);

    const Node &root() const { return *m_root; }
    const QString &text() const { return m_text; }

private:
    QString m_text;
    std::unique_ptr<Node> m_root;
};
