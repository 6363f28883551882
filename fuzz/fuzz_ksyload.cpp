// Templates come from anywhere: whatever the bytes, reading them as a .ksy
// description must end with a template or with one message saying where it
// failed, and every line read as an expression must parse or be refused
// the same way and evaluate to a value (maybe an error), never crash.
#include "fuzzsupport.h"

#include "kaitai/ksycontext.h"
#include "kaitai/ksyenum.h"
#include "kaitai/ksyevaluator.h"
#include "kaitai/ksyexpression.h"
#include "kaitai/ksytemplate.h"

#include <QByteArray>
#include <QString>

#include <cstdint>

namespace {

// A few names of every kind an expression can meet in a parse.
class TableContext : public KsyContext
{
public:
    TableContext()
    {
        m_enum.name = QStringLiteral("kind");
        m_enum.names = { { 1, QStringLiteral("one") }, { 2, QStringLiteral("two") } };
        m_enum.values = { { QStringLiteral("one"), 1 }, { QStringLiteral("two"), 2 } };
    }
    KsyValue name(const QString &name) override
    {
        if (name == QLatin1String("n"))
            return KsyValue::from_int(-5);
        if (name == QLatin1String("big"))
            return KsyValue::from_uint(18446744073709551615ull);
        if (name == QLatin1String("f"))
            return KsyValue::from_float(2.5);
        if (name == QLatin1String("s"))
            return KsyValue::from_string(QStringLiteral("IHDR"));
        if (name == QLatin1String("b"))
            return KsyValue::from_bytes(QByteArray::fromHex("89504e470d0a1a0a"));
        if (name == QLatin1String("long"))
            return KsyValue::from_bytes(QByteArray(4, 'x'), 1 << 20);
        if (name == QLatin1String("a") || name == QLatin1String("_"))
            return KsyValue::from_array({ KsyValue::from_int(3), KsyValue::from_int(-1), KsyValue::from_uint(7) });
        if (name == QLatin1String("k"))
            return KsyValue::from_enum(&m_enum, 2);
        if (name == QLatin1String("_index"))
            return KsyValue::from_int(1);
        return KsyValue::error(QStringLiteral("unknown name '%1'").arg(name));
    }
    KsyValue member(const KsyValue &, const QString &name) override
    {
        return KsyValue::error(QStringLiteral("no member '%1'").arg(name));
    }
    KsyValue field_size(const KsyValue &, const QString &field) override
    {
        return field == QLatin1String("n") ? KsyValue::from_int(4) : KsyValue::error(QStringLiteral("no size"));
    }
    KsyValue enum_value(const QStringList &path) override
    {
        if (path.size() == 2 && path.first() == m_enum.name && m_enum.values.contains(path.last()))
            return KsyValue::from_enum(&m_enum, m_enum.values.value(path.last()));
        return KsyValue::error(QStringLiteral("unknown enum"));
    }
    KsyValue type_size(const QString &type, bool bits) override
    {
        return type == QLatin1String("u4") ? KsyValue::from_int(bits ? 32 : 4)
                                           : KsyValue::error(QStringLiteral("not fixed"));
    }

private:
    KsyEnum m_enum;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));

    // Imports resolve from a folder that does not exist, so an input never
    // reads the disk.
    QString error;
    const auto ksy = KsyTemplate::from_yaml(bytes, QStringLiteral("/nonexistent-pq-fuzz/fuzz.ksy"),
                                            QStringLiteral("/nonexistent-pq-fuzz"), &error);
    PQ_FUZZ_CHECK(bool(ksy) != !error.isEmpty());
    if (ksy) {
        PQ_FUZZ_CHECK(ksy->root_type() != nullptr);
        KsyTemplate::find_type(ksy->root_type(), ksy->id());
    } else {
        // "<file>:<line>:<column>: <reason>", or at least the file.
        PQ_FUZZ_CHECK(error.startsWith(QLatin1String("/nonexistent-pq-fuzz/")));
    }

    TableContext context;
    KsyEvaluator evaluator(&context);
    int lines = 0;
    for (const QByteArray &line : bytes.split('\n')) {
        if (++lines > 64)
            break;
        QString why;
        const auto expression = KsyExpression::parse(QString::fromUtf8(line), &why);
        PQ_FUZZ_CHECK(bool(expression) != !why.isEmpty());
        if (!expression)
            continue;
        const KsyValue first = evaluator.evaluate(*expression);
        const KsyValue again = evaluator.evaluate(*expression);
        // Nothing in an evaluation depends on an earlier one.
        PQ_FUZZ_CHECK(first.kind() == again.kind());
        PQ_FUZZ_CHECK(first.display() == again.display());
    }
    return 0;
}
