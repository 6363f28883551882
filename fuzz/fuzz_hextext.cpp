// Text typed or pasted into the search and goto fields: the hex-to-bytes
// conversion and the three validators must take any text, and what they call
// acceptable must really be usable.
#include "fuzzsupport.h"

#include "validators/hexvalidator.h"
#include "validators/octdechexvalidator.h"
#include "validators/qint64validator.h"
#include "search/searchengine.h"

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <cstring>
#include <limits>

namespace {

int hex_digit(QChar c)
{
    const char16_t u = c.unicode();
    if (u >= '0' && u <= '9')
        return u - '0';
    if (u >= 'a' && u <= 'f')
        return u - 'a' + 10;
    if (u >= 'A' && u <= 'F')
        return u - 'A' + 10;
    return -1;
}

QValidator::State run(const QValidator &v, const QString &text)
{
    QString copy = text;
    int pos = int(copy.size());
    const QValidator::State state = v.validate(copy, pos);
    // None of these validators repairs the text.
    PQ_FUZZ_CHECK(copy == text);
    return state;
}

void check_hex_to_bytes(const QString &text)
{
    QString bytes = QStringLiteral("unchanged");
    const bool ok = SearchEngine::hex_to_bytes(text, bytes);
    if (text.size() % 2 != 0) {
        PQ_FUZZ_CHECK(!ok);
        PQ_FUZZ_CHECK(bytes == QLatin1String("unchanged"));
        return;
    }
    PQ_FUZZ_CHECK(ok);
    PQ_FUZZ_CHECK(bytes.size() == text.size() / 2);
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        // Every pair becomes one byte value.
        PQ_FUZZ_CHECK(bytes.at(i).unicode() <= 0xFF);
        const int hi = hex_digit(text.at(2 * i));
        const int lo = hex_digit(text.at(2 * i + 1));
        if (hi >= 0 && lo >= 0)
            PQ_FUZZ_CHECK(bytes.at(i).unicode() == hi * 16 + lo);
    }
}

void check_hex_validator(const QString &text)
{
    HexValidator v;
    if (run(v, text) != QValidator::Acceptable)
        return;
    // Acceptable text is hex digits after an optional "0x": every prefix is
    // acceptable too, and an even length converts pair by pair.
    for (qsizetype n = 0; n < text.size(); n += 1 + text.size() / 16)
        PQ_FUZZ_CHECK(run(v, text.left(n)) == QValidator::Acceptable);
    if (text.size() % 2 == 0) {
        QString bytes;
        PQ_FUZZ_CHECK(SearchEngine::hex_to_bytes(text, bytes));
        const qsizetype skip = text.startsWith(QLatin1String("0x")) ? 2 : 0;
        for (qsizetype i = skip; i < text.size(); i += 2)
            PQ_FUZZ_CHECK(bytes.at(i / 2).unicode()
                          == hex_digit(text.at(i)) * 16 + hex_digit(text.at(i + 1)));
        if (skip)
            PQ_FUZZ_CHECK(bytes.at(0).unicode() == 0);
    }
}

// Typing a number from scratch never passes through an Invalid state.
void check_typing(const QValidator &v, const QString &number)
{
    for (qsizetype n = 0; n <= number.size(); ++n)
        PQ_FUZZ_CHECK(run(v, number.left(n)) != QValidator::Invalid);
    PQ_FUZZ_CHECK(run(v, number) == QValidator::Acceptable);
}

quint64 take_u64(const uint8_t *data, size_t size)
{
    quint64 v = 0;
    std::memcpy(&v, data, size < 8 ? size : 8);
    return v;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 1)
        return 0;
    const uint8_t mode = data[0];
    const char *rest = reinterpret_cast<const char *>(data + 1);
    const qsizetype n = qsizetype(size - 1);
    QString text;
    switch (mode % 3) {
    case 0: text = QString::fromLatin1(rest, n); break;
    case 1: text = QString::fromUtf8(rest, n); break;
    default: text = QString(reinterpret_cast<const QChar *>(rest), n / 2); break;
    }

    check_hex_to_bytes(text);
    check_hex_validator(text);

    OctDecHexValidator odh;
    const QValidator::State odh_state = run(odh, text);
    if (odh_state == QValidator::Acceptable) {
        bool ok = false;
        text.toULongLong(&ok, 0);
        PQ_FUZZ_CHECK(ok);
    }

    // Bounds and a value from the input bytes.
    const quint64 a = take_u64(data + 1, size - 1);
    const quint64 b = size > 9 ? take_u64(data + 9, size - 9) : ~a;
    qint64 bottom = qint64(a);
    qint64 top = qint64(b);
    if (mode & 0x40)
        bottom = qint64(a % 100000) - 50000;
    if (mode & 0x80)
        top = bottom > std::numeric_limits<qint64>::max() - 100000
            ? std::numeric_limits<qint64>::max()
            : bottom + qint64(b % 100000);
    if (bottom > top)
        std::swap(bottom, top);
    QInt64Validator i64(bottom, top);
    if (run(i64, text) == QValidator::Acceptable) {
        bool ok = false;
        const qint64 value = text.toLongLong(&ok, 10);
        PQ_FUZZ_CHECK(ok);
        PQ_FUZZ_CHECK(bottom <= value && value <= top);
    }
    // Any value in range, typed digit by digit.
    const quint64 span = quint64(top) - quint64(bottom);
    const quint64 pick = span == std::numeric_limits<quint64>::max() ? a ^ b : (a ^ b) % (span + 1);
    const qint64 inside = qint64(quint64(bottom) + pick);
    check_typing(i64, QString::number(inside));
    check_typing(i64, QString::number(bottom));
    check_typing(i64, QString::number(top));

    // Any unsigned value in each C notation.
    check_typing(odh, QString::number(a));
    check_typing(odh, QStringLiteral("0x") + QString::number(a, 16));
    check_typing(odh, QStringLiteral("0x") + QString::number(a, 16).toUpper());
    check_typing(odh, QStringLiteral("0") + QString::number(a, 8));
    return 0;
}
