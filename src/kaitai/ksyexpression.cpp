#include "kaitai/ksyexpression.h"

#include <QCoreApplication>

namespace {

using Node = KsyExpression::Node;
using NodePtr = std::unique_ptr<Node>;

struct Token
{
    enum class Type { end, integer, floating, string, name, symbol };
    Type type = Type::end;
    QString text;
    KsyValue value;
    int column = 0;
};

// Splits the text into tokens; false with *error on a character or literal
// that cannot start a token.
bool tokenize(const QString &s, std::vector<Token> *out, QString *error)
{
    static const QStringList symbols = { QStringLiteral("::"), QStringLiteral("<<"), QStringLiteral(">>"),
                                         QStringLiteral("<="), QStringLiteral(">="), QStringLiteral("=="),
                                         QStringLiteral("!=") };
    int i = 0;
    const int n = int(s.size());
    while (i < n) {
        const QChar c = s.at(i);
        if (c.isSpace()) {
            ++i;
            continue;
        }
        Token t;
        t.column = i + 1;
        if (c.isDigit()) {
            int j = i;
            int base = 10;
            if (c == QLatin1Char('0') && j + 1 < n) {
                const QChar p = s.at(j + 1).toLower();
                base = p == QLatin1Char('x') ? 16 : p == QLatin1Char('o') ? 8 : p == QLatin1Char('b') ? 2 : 10;
                if (base != 10)
                    j += 2;
            }
            QString digits;
            bool is_float = false;
            for (; j < n; ++j) {
                const QChar d = s.at(j);
                if (d == QLatin1Char('_'))
                    continue;
                if (base == 16 ? d.isLetterOrNumber() : d.isDigit()) {
                    digits += d;
                    continue;
                }
                if (base == 10 && d == QLatin1Char('.') && j + 1 < n && s.at(j + 1).isDigit()) {
                    is_float = true;
                    digits += d;
                    continue;
                }
                if (base == 10 && (d == QLatin1Char('e') || d == QLatin1Char('E')) && j + 1 < n
                    && (s.at(j + 1).isDigit() || s.at(j + 1) == QLatin1Char('-') || s.at(j + 1) == QLatin1Char('+'))) {
                    is_float = true;
                    digits += d;
                    digits += s.at(++j);
                    continue;
                }
                break;
            }
            bool ok = false;
            if (is_float) {
                t.type = Token::Type::floating;
                t.value = KsyValue::from_float(digits.toDouble(&ok));
            } else {
                t.type = Token::Type::integer;
                const quint64 v = digits.toULongLong(&ok, base);
                t.value = KsyValue::from_uint(v);
            }
            if (!ok || digits.isEmpty()) {
                *error = KsyExpression::tr("bad number at column %1").arg(t.column);
                return false;
            }
            t.text = s.mid(i, j - i);
            i = j;
        } else if (c.isLetter() || c == QLatin1Char('_')) {
            int j = i;
            while (j < n && (s.at(j).isLetterOrNumber() || s.at(j) == QLatin1Char('_')))
                ++j;
            t.type = Token::Type::name;
            t.text = s.mid(i, j - i);
            i = j;
        } else if (c == QLatin1Char('"') || c == QLatin1Char('\'')) {
            // Single quotes take the text as it stands; double quotes know escapes.
            QString text;
            int j = i + 1;
            bool closed = false;
            while (j < n) {
                QChar d = s.at(j++);
                if (d == c) {
                    closed = true;
                    break;
                }
                if (d != QLatin1Char('\\') || c == QLatin1Char('\'') || j >= n) {
                    text += d;
                    continue;
                }
                d = s.at(j++);
                switch (d.unicode()) {
                case 'n': text += QLatin1Char('\n'); break;
                case 't': text += QLatin1Char('\t'); break;
                case 'r': text += QLatin1Char('\r'); break;
                case 'a': text += QChar(7); break;
                case 'b': text += QChar(8); break;
                case 'f': text += QChar(12); break;
                case 'v': text += QChar(11); break;
                case 'e': text += QChar(27); break;
                case 'u': {
                    text += QChar(s.mid(j, 4).toUShort(nullptr, 16));
                    j += 4;
                    break;
                }
                default:
                    if (d.isDigit()) {
                        // Octal, up to three digits: "\0", "\177".
                        int k = j - 1;
                        QString oct;
                        while (k < n && oct.size() < 3 && s.at(k) >= QLatin1Char('0') && s.at(k) <= QLatin1Char('7'))
                            oct += s.at(k++);
                        text += QChar(oct.toUShort(nullptr, 8));
                        j = k;
                    } else {
                        text += d;
                    }
                }
            }
            if (!closed) {
                *error = KsyExpression::tr("unterminated string at column %1").arg(t.column);
                return false;
            }
            t.type = Token::Type::string;
            t.value = KsyValue::from_string(text);
            i = j;
        } else {
            t.type = Token::Type::symbol;
            const QString two = s.mid(i, 2);
            if (symbols.contains(two)) {
                t.text = two;
                i += 2;
            } else if (QStringLiteral("+-*/%&|^~<>()[].,?:!").contains(c)) {
                t.text = c;
                ++i;
            } else {
                *error = KsyExpression::tr("unexpected '%1' at column %2").arg(c).arg(t.column);
                return false;
            }
        }
        out->push_back(t);
    }
    Token end;
    end.column = n + 1;
    out->push_back(end);
    return true;
}

class Parser
{
    // The parser's messages belong to the expression's translations.
    Q_DECLARE_TR_FUNCTIONS(KsyExpression)

public:
    Parser(std::vector<Token> tokens) : m_tokens(std::move(tokens)) { }

    NodePtr parse_all(QString *error)
    {
        NodePtr node = ternary();
        if (node && peek().type != Token::Type::end)
            fail(tr("unexpected '%1' at column %2").arg(peek().text).arg(peek().column));
        if (!m_error.isEmpty()) {
            *error = m_error;
            return nullptr;
        }
        return node;
    }

private:
    std::vector<Token> m_tokens;
    size_t m_at = 0;
    QString m_error;
    int m_depth = 0;

    const Token &peek(size_t ahead = 0) const
    {
        return m_tokens[std::min(m_at + ahead, m_tokens.size() - 1)];
    }
    bool is_symbol(const char *text, size_t ahead = 0) const
    {
        const Token &t = peek(ahead);
        return t.type == Token::Type::symbol && t.text == QLatin1String(text);
    }
    bool is_word(const char *text) const
    {
        const Token &t = peek();
        return t.type == Token::Type::name && t.text == QLatin1String(text);
    }
    bool accept(const char *text)
    {
        if (!is_symbol(text))
            return false;
        ++m_at;
        return true;
    }
    NodePtr fail(const QString &message)
    {
        if (m_error.isEmpty())
            m_error = message;
        return nullptr;
    }
    NodePtr expect_fail(const char *what)
    {
        const Token &t = peek();
        if (t.type == Token::Type::end)
            return fail(tr("expected %1 at the end").arg(QLatin1String(what)));
        return fail(tr("expected %1 at column %2").arg(QLatin1String(what)).arg(t.column));
    }
    static NodePtr make(Node::Op op, const QString &name = QString())
    {
        auto n = std::make_unique<Node>();
        n->op = op;
        n->name = name;
        return n;
    }
    NodePtr binary(const QString &op, NodePtr a, NodePtr b)
    {
        NodePtr n = make(Node::Op::binary, op);
        n->args.push_back(std::move(a));
        n->args.push_back(std::move(b));
        return bounded(std::move(n));
    }
    NodePtr too_deep()
    {
        return fail(tr("expression nested deeper than the depth limit of %1").arg(KsyExpression::max_depth));
    }
    // Sets the height of a node whose arguments are in place. A chain such
    // as 50,000 terms joined by '+' is built without recursing, so the
    // limit is kept here, before the tree is deep enough to hurt.
    NodePtr bounded(NodePtr n)
    {
        for (const NodePtr &arg : n->args)
            n->height = std::max(n->height, arg->height + 1);
        if (n->height > KsyExpression::max_depth)
            return too_deep();
        return n;
    }

    NodePtr ternary()
    {
        // Nesting is bounded so a hostile expression cannot exhaust the stack.
        if (++m_depth > KsyExpression::max_depth) {
            --m_depth;
            return too_deep();
        }
        NodePtr cond = logical_or();
        if (cond && accept("?")) {
            NodePtr a = ternary();
            if (!a)
                return nullptr;
            if (!accept(":"))
                return expect_fail("':'");
            NodePtr b = ternary();
            if (!b)
                return nullptr;
            NodePtr n = make(Node::Op::ternary);
            n->args.push_back(std::move(cond));
            n->args.push_back(std::move(a));
            n->args.push_back(std::move(b));
            cond = bounded(std::move(n));
        }
        --m_depth;
        return cond;
    }
    NodePtr logical_or()
    {
        NodePtr a = logical_and();
        while (a && is_word("or")) {
            ++m_at;
            NodePtr b = logical_and();
            if (!b)
                return nullptr;
            a = binary(QStringLiteral("or"), std::move(a), std::move(b));
        }
        return a;
    }
    NodePtr logical_and()
    {
        NodePtr a = logical_not();
        while (a && is_word("and")) {
            ++m_at;
            NodePtr b = logical_not();
            if (!b)
                return nullptr;
            a = binary(QStringLiteral("and"), std::move(a), std::move(b));
        }
        return a;
    }
    NodePtr logical_not()
    {
        if (is_word("not")) {
            ++m_at;
            if (++m_depth > KsyExpression::max_depth)
                return too_deep();
            NodePtr a = logical_not();
            --m_depth;
            if (!a)
                return nullptr;
            NodePtr n = make(Node::Op::unary, QStringLiteral("not"));
            n->args.push_back(std::move(a));
            return bounded(std::move(n));
        }
        return comparison();
    }
    NodePtr comparison()
    {
        NodePtr a = bit_or();
        static const char *ops[] = { "==", "!=", "<=", ">=", "<", ">" };
        for (;;) {
            if (!a)
                return nullptr;
            const char *found = nullptr;
            for (const char *op : ops) {
                if (is_symbol(op)) {
                    found = op;
                    break;
                }
            }
            if (!found)
                return a;
            ++m_at;
            NodePtr b = bit_or();
            if (!b)
                return nullptr;
            a = binary(QLatin1String(found), std::move(a), std::move(b));
        }
    }
    template<typename Next>
    NodePtr left_assoc(std::initializer_list<const char *> ops, Next next)
    {
        NodePtr a = (this->*next)();
        for (;;) {
            if (!a)
                return nullptr;
            const char *found = nullptr;
            for (const char *op : ops) {
                if (is_symbol(op)) {
                    found = op;
                    break;
                }
            }
            if (!found)
                return a;
            ++m_at;
            NodePtr b = (this->*next)();
            if (!b)
                return nullptr;
            a = binary(QLatin1String(found), std::move(a), std::move(b));
        }
    }
    NodePtr bit_or() { return left_assoc({ "|" }, &Parser::bit_xor); }
    NodePtr bit_xor() { return left_assoc({ "^" }, &Parser::bit_and); }
    NodePtr bit_and() { return left_assoc({ "&" }, &Parser::shift); }
    NodePtr shift() { return left_assoc({ "<<", ">>" }, &Parser::additive); }
    NodePtr additive() { return left_assoc({ "+", "-" }, &Parser::multiplicative); }
    NodePtr multiplicative() { return left_assoc({ "*", "/", "%" }, &Parser::unary); }

    NodePtr unary()
    {
        for (const char *op : { "-", "~", "!" }) {
            if (is_symbol(op)) {
                ++m_at;
                if (++m_depth > KsyExpression::max_depth)
                    return too_deep();
                NodePtr a = unary();
                --m_depth;
                if (!a)
                    return nullptr;
                NodePtr n = make(Node::Op::unary, QLatin1String(op[0] == '!' ? "not" : op));
                n->args.push_back(std::move(a));
                return bounded(std::move(n));
            }
        }
        return postfix();
    }

    bool type_name(QString *name)
    {
        // A type inside <...>: a path of names joined by "::", maybe with "[]".
        if (!accept("<"))
            return false;
        QString text;
        while (peek().type == Token::Type::name || is_symbol("::") || is_symbol("[") || is_symbol("]"))
            text += m_tokens[m_at++].text;
        if (!accept(">") || text.isEmpty())
            return false;
        *name = text;
        return true;
    }

    NodePtr postfix()
    {
        NodePtr a = primary();
        for (;;) {
            if (!a)
                return nullptr;
            if (accept("[")) {
                NodePtr i = ternary();
                if (!i)
                    return nullptr;
                if (!accept("]"))
                    return expect_fail("']'");
                NodePtr n = make(Node::Op::index);
                n->args.push_back(std::move(a));
                n->args.push_back(std::move(i));
                a = bounded(std::move(n));
            } else if (accept(".")) {
                if (peek().type != Token::Type::name)
                    return expect_fail("a name after '.'");
                const QString name = m_tokens[m_at++].text;
                if (name == QLatin1String("as")) {
                    NodePtr n = make(Node::Op::cast);
                    if (!type_name(&n->name))
                        return expect_fail("a type in <...>");
                    n->args.push_back(std::move(a));
                    a = bounded(std::move(n));
                } else if (accept("(")) {
                    NodePtr n = make(Node::Op::call, name);
                    n->args.push_back(std::move(a));
                    if (!arguments(&n->args))
                        return nullptr;
                    a = bounded(std::move(n));
                } else {
                    NodePtr n = make(Node::Op::member, name);
                    n->args.push_back(std::move(a));
                    a = bounded(std::move(n));
                }
            } else {
                return a;
            }
        }
    }

    // After "(": expressions separated by commas up to ")".
    bool arguments(std::vector<NodePtr> *args)
    {
        if (accept(")"))
            return true;
        for (;;) {
            NodePtr e = ternary();
            if (!e)
                return false;
            args->push_back(std::move(e));
            if (accept(")"))
                return true;
            if (!accept(",")) {
                expect_fail("',' or ')'");
                return false;
            }
        }
    }

    NodePtr primary()
    {
        const Token t = peek();
        switch (t.type) {
        case Token::Type::end:
            return expect_fail("a value");
        case Token::Type::integer:
        case Token::Type::floating:
        case Token::Type::string: {
            ++m_at;
            NodePtr n = make(Node::Op::literal);
            n->value = t.value;
            return n;
        }
        case Token::Type::name: {
            ++m_at;
            if (t.text == QLatin1String("true") || t.text == QLatin1String("false")) {
                NodePtr n = make(Node::Op::literal);
                n->value = KsyValue::from_bool(t.text == QLatin1String("true"));
                return n;
            }
            if (t.text == QLatin1String("sizeof") || t.text == QLatin1String("bitsizeof")) {
                NodePtr n = make(Node::Op::size_of);
                QString type;
                if (!type_name(&type))
                    return expect_fail("a type in <...>");
                n->name = (t.text == QLatin1String("bitsizeof") ? QStringLiteral("bit:") : QString()) + type;
                return n;
            }
            if (is_symbol("::")) {
                NodePtr n = make(Node::Op::enum_ref);
                n->path << t.text;
                while (accept("::")) {
                    if (peek().type != Token::Type::name)
                        return expect_fail("a name after '::'");
                    n->path << m_tokens[m_at++].text;
                }
                return n;
            }
            return make(Node::Op::name, t.text);
        }
        case Token::Type::symbol:
            if (accept("(")) {
                NodePtr e = ternary();
                if (!e)
                    return nullptr;
                if (!accept(")"))
                    return expect_fail("')'");
                return e;
            }
            if (accept("[")) {
                NodePtr n = make(Node::Op::array);
                if (accept("]"))
                    return n;
                for (;;) {
                    NodePtr e = ternary();
                    if (!e)
                        return nullptr;
                    n->args.push_back(std::move(e));
                    if (accept("]"))
                        return bounded(std::move(n));
                    if (!accept(","))
                        return expect_fail("',' or ']'");
                }
            }
            return fail(tr("unexpected '%1' at column %2").arg(t.text).arg(t.column));
        }
        return nullptr;
    }
};

} // namespace

std::shared_ptr<const KsyExpression> KsyExpression::parse(const QString &text, QString *error)
{
    std::vector<Token> tokens;
    QString reason;
    if (!tokenize(text, &tokens, &reason)) {
        *error = reason;
        return nullptr;
    }
    Parser parser(std::move(tokens));
    NodePtr root = parser.parse_all(&reason);
    if (!root) {
        *error = reason;
        return nullptr;
    }
    auto e = std::make_shared<KsyExpression>();
    e->m_text = text;
    e->m_root = std::move(root);
    return e;
}
