// The expression language on its own: literals, operators, methods and
// errors, evaluated over a small table of names.

#include "kaitai/ksycontext.h"
#include "kaitai/ksyenum.h"
#include "kaitai/ksyevaluator.h"
#include "kaitai/ksyexpression.h"

#include <QtTest>

namespace {

// Names a test expression can use: a few scalars, an array and one enum.
class TableContext : public KsyContext
{
public:
    TableContext()
    {
        m_enum.name = QStringLiteral("color");
        m_enum.names = { { 2, QStringLiteral("truecolor") } };
        m_enum.values = { { QStringLiteral("truecolor"), 2 } };
    }
    KsyValue name(const QString &name) override
    {
        if (name == QLatin1String("width"))
            return KsyValue::from_int(640);
        if (name == QLatin1String("big"))
            return KsyValue::from_uint(18446744073709551615ull);
        if (name == QLatin1String("magic"))
            return KsyValue::from_bytes(QByteArray::fromHex("89504e47"));
        if (name == QLatin1String("list"))
            return KsyValue::from_array({ KsyValue::from_int(3), KsyValue::from_int(-1), KsyValue::from_int(7) });
        if (name == QLatin1String("kind"))
            return KsyValue::from_enum(&m_enum, 2);
        return KsyValue::error(QStringLiteral("unknown name '%1'").arg(name));
    }
    KsyValue member(const KsyValue &, const QString &name) override
    {
        return KsyValue::error(QStringLiteral("no member '%1'").arg(name));
    }
    KsyValue field_size(const KsyValue &, const QString &field) override
    {
        return field == QLatin1String("width") ? KsyValue::from_int(4) : KsyValue::error(QStringLiteral("no size"));
    }
    KsyValue enum_value(const QStringList &path) override
    {
        if (path == QStringList { QStringLiteral("color"), QStringLiteral("truecolor") })
            return KsyValue::from_enum(&m_enum, 2);
        return KsyValue::error(QStringLiteral("unknown enum"));
    }
    KsyValue type_size(const QString &type, bool bits) override
    {
        return type == QLatin1String("u4") ? KsyValue::from_int(bits ? 32 : 4) : KsyValue::error(QStringLiteral("not fixed"));
    }

private:
    KsyEnum m_enum;
};

} // namespace

class TestKsyExpression : public QObject
{
    Q_OBJECT

private slots:
    void evaluate_data();
    void evaluate();
};

void TestKsyExpression::evaluate_data()
{
    // The result as KsyValue::display() shows it, prefixed with its kind; an
    // error as "error: " and the start of its message.
    QTest::addColumn<QString>("expression");
    QTest::addColumn<QString>("expected");
    const auto row = [](const char *name, const char *e, const char *r) { QTest::newRow(name) << e << r; };
    row("decimal-with-separators", "1_000_000", "integer 1000000");
    row("hex-octal-binary", "0xff + 0o17 + 0b101", "integer 275");
    row("largest-unsigned-literal", "0xffffffffffffffff", "integer 18446744073709551615");
    row("unsigned-stays-exact", "big - 1", "integer 18446744073709551614");
    row("overflow-is-an-error", "big + 1", "error: integer overflow");
    row("multiplication-overflow", "big * big", "error: integer overflow");
    row("float-literal-and-exponent", "1.5e2 + 0.25", "float 150.25");
    row("precedence", "1 + 2 * 3 - 4 / 2", "integer 5");
    row("floor-division-negative", "-7 / 2", "integer -4");
    row("modulo-non-negative", "-7 % 3", "integer 2");
    row("modulo-positive", "7 % 3", "integer 1");
    row("division-by-zero", "width / 0", "error: division by zero");
    row("modulo-by-zero", "1 % 0", "error: division by zero");
    row("float-division", "7.0 / 2", "float 3.5");
    row("bit-operators", "(0xf0 | 0x0f) & ~0x3 ^ 1", "integer 253");
    row("shifts", "1 << 40 >> 38", "integer 4");
    row("shift-out-of-range", "1 << 64", "error: shift by 64");
    row("comparison-chain-with-and-or", "width > 600 and width < 700 or false", "boolean true");
    row("not-needs-boolean", "not width", "error: 'not' needs a boolean");
    row("ternary", "width == 640 ? \"vga\" : \"other\"", "string \"vga\"");
    row("ternary-condition-must-be-boolean", "width ? 1 : 2", "error: condition is integer");
    row("string-escapes", "\"a\\tb\\x\\\"\" + 'c\\n'", "string \"a\tbx\\\"c\\\\n\"");
    row("octal-escape", "\"\\101\\0\".length", "integer 2");
    row("string-compare", "\"abc\" < \"abd\"", "boolean true");
    row("byte-array-literal", "[0x89, 80, 78, 71] == magic", "boolean true");
    row("bytes-index-and-size", "magic[1] + magic.size", "integer 84");
    row("bytes-first-last-min-max", "[magic.first, magic.last, magic.min, magic.max]",
        "bytes [89 47 47 89]");
    row("bytes-to-s", "magic.to_s(\"ASCII\").substring(1, 4)", "string \"PNG\"");
    row("bytes-to-s-unknown-encoding", "magic.to_s(\"NO-SUCH-ENCODING\")", "error: unknown encoding");
    row("array-methods", "list.min + list.max * 10 + list.size", "integer 72");
    row("array-index-out-of-range", "list[3]", "error: index 3 out of range");
    row("array-reverse-first", "list.reverse.first", "integer 7");
    row("mixed-array", "[1, 1000].last", "integer 1000");
    row("string-methods", "\"12\".to_i + \"ff\".to_i(16) + \"abc\".length", "integer 270");
    row("string-reverse", "\"abc\".reverse", "string \"cba\"");
    row("string-cut-after-64-characters", "\"0123456789012345678901234567890123456789012345678901234567890123456789\"",
        "string \"0123456789012345678901234567890123456789012345678901234567890123…\"");
    row("to-i-not-a-number", "\"12x\".to_i", "error: '12x' is not a number");
    row("int-to-s", "(width - 1000).to_s + \"!\"", "string \"-360!\"");
    row("float-to-i-truncates", "(-2.7).to_i", "integer -2");
    row("enum-reference-and-to-i", "color::truecolor.to_i * 10", "integer 20");
    row("enum-equality", "kind == color::truecolor", "boolean true");
    row("enum-display", "kind", "enum truecolor (2)");
    row("sizeof-and-bitsizeof", "sizeof<u4> + bitsizeof<u4>", "integer 36");
    row("field-sizeof", "width._sizeof", "integer 4");
    row("cast-keeps-value", "width.as<u4>", "integer 640");
    row("bool-to-i", "(1 == 1).to_i + (1 == 2).to_i", "integer 1");
    row("unknown-name", "height + 1", "error: unknown name 'height'");
    row("mismatched-types", "width + \"px\"", "error: cannot apply '+' to integer and string");
    row("compare-mismatch", "width == \"640\"", "error: cannot compare integer with string");
    row("method-missing", "width.length", "error: integer has no 'length'");
    row("syntax-error-unclosed", "(1 + 2", "error: expected ')' at the end");
    row("syntax-error-stray", "1 + * 2", "error: unexpected '*' at column 5");
    row("syntax-error-string", "\"open", "error: unterminated string at column 1");
    row("number-too-large", "0x1ffffffffffffffff", "error: bad number at column 1");

    // Depth: chains and nesting are refused past the limit instead of
    // exhausting the stack when evaluated or freed.
    const auto terms = [](int n) { return QStringList(n, QStringLiteral("1")).join(QStringLiteral(" + ")); };
    const QString too_deep = QStringLiteral("error: expression nested deeper than the depth limit of %1")
                                 .arg(KsyExpression::max_depth);
    QTest::newRow("sum-at-the-depth-limit") << terms(KsyExpression::max_depth)
                                            << QStringLiteral("integer %1").arg(KsyExpression::max_depth);
    QTest::newRow("sum-one-past-the-limit") << terms(KsyExpression::max_depth + 1) << too_deep;
    QTest::newRow("sum-of-50000-terms") << terms(50000) << too_deep;
    QTest::newRow("method-chain") << QStringLiteral("\"ab\"") + QStringLiteral(".reverse").repeated(300) << too_deep;
    QTest::newRow("parentheses") << QStringLiteral("(").repeated(300) + QStringLiteral("1")
                                        + QStringLiteral(")").repeated(300)
                                 << too_deep;
    QTest::newRow("negations") << QStringLiteral("-").repeated(300) + QStringLiteral("1") << too_deep;
}

void TestKsyExpression::evaluate()
{
    QFETCH(QString, expression);
    QFETCH(QString, expected);
    QString error;
    const auto parsed = KsyExpression::parse(expression, &error);
    QString got;
    if (!parsed) {
        got = QStringLiteral("error: ") + error;
    } else {
        TableContext context;
        KsyEvaluator evaluator(&context);
        const KsyValue v = evaluator.evaluate(*parsed);
        got = v.is_error() ? QStringLiteral("error: ") + v.text()
                           : KsyValue::kind_name(v.kind()) + QLatin1Char(' ') + v.display();
    }
    if (expected.startsWith(QLatin1String("error: ")))
        QVERIFY2(got.startsWith(expected), qPrintable(got));
    else
        QCOMPARE(got, expected);
}

QTEST_GUILESS_MAIN(TestKsyExpression)
#include "tst_ksyexpression.moc"
