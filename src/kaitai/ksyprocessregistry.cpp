#include "kaitai/ksyprocessregistry.h"

#include <zlib.h>

#include <cstring>

namespace {

bool inflate_all(QByteArray *data, const std::vector<KsyValue> &, qint64 limit, QString *error)
{
    z_stream z;
    std::memset(&z, 0, sizeof z);
    if (inflateInit(&z) != Z_OK) {
        *error = KsyProcessRegistry::tr("zlib cannot start");
        return false;
    }
    const QByteArray in = *data;
    QByteArray out;
    z.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(in.constData()));
    z.avail_in = uInt(in.size());
    char buffer[65536];
    int rc = Z_OK;
    while (rc != Z_STREAM_END) {
        z.next_out = reinterpret_cast<Bytef *>(buffer);
        z.avail_out = sizeof buffer;
        rc = inflate(&z, Z_NO_FLUSH);
        if (rc != Z_OK && rc != Z_STREAM_END) {
            *error = KsyProcessRegistry::tr("zlib data is damaged (%1)")
                         .arg(QString::fromLatin1(z.msg ? z.msg : "error"));
            inflateEnd(&z);
            return false;
        }
        out.append(buffer, int(sizeof buffer - z.avail_out));
        if (out.size() > limit) {
            *error = KsyProcessRegistry::tr("zlib data expands beyond %1 bytes").arg(limit);
            inflateEnd(&z);
            return false;
        }
        if (rc == Z_OK && z.avail_in == 0 && z.avail_out != 0) {
            *error = KsyProcessRegistry::tr("zlib data ends early");
            inflateEnd(&z);
            return false;
        }
    }
    inflateEnd(&z);
    *data = out;
    return true;
}

bool xor_with(QByteArray *data, const std::vector<KsyValue> &args, qint64, QString *error)
{
    const KsyValue &key = args.front();
    const QByteArray k = key.kind() == KsyValue::Kind::bytes ? key.all_bytes() : QByteArray(1, char(key.to_int()));
    if (k.isEmpty()) {
        *error = KsyProcessRegistry::tr("xor with an empty key");
        return false;
    }
    for (qsizetype i = 0; i < data->size(); ++i)
        (*data)[i] = char((*data)[i] ^ k[i % k.size()]);
    return true;
}

// Each byte rotated left by `left` bits (a rotation right is one left by the rest).
bool rotate(QByteArray *data, const KsyValue &amount, bool left, const char *name, QString *error)
{
    if (!amount.is_integer()) {
        *error = KsyProcessRegistry::tr("%1 needs an integer").arg(QLatin1String(name));
        return false;
    }
    int n = int(((amount.to_int() % 8) + 8) % 8);
    if (!left)
        n = (8 - n) % 8;
    for (qsizetype i = 0; i < data->size(); ++i) {
        const quint8 c = quint8((*data)[i]);
        (*data)[i] = char(quint8((c << n) | (c >> ((8 - n) % 8))));
    }
    return true;
}

} // namespace

KsyProcessRegistry::KsyProcessRegistry()
{
    m_entries.push_back({ QStringLiteral("zlib"), 0, inflate_all });
    m_entries.push_back({ QStringLiteral("xor"), 1, xor_with });
    m_entries.push_back({ QStringLiteral("rol"), 1,
                          [](QByteArray *data, const std::vector<KsyValue> &args, qint64, QString *error) {
                              return rotate(data, args.front(), true, "rol", error);
                          } });
    m_entries.push_back({ QStringLiteral("ror"), 1,
                          [](QByteArray *data, const std::vector<KsyValue> &args, qint64, QString *error) {
                              return rotate(data, args.front(), false, "ror", error);
                          } });
}

const KsyProcessRegistry &KsyProcessRegistry::instance()
{
    static const KsyProcessRegistry registry;
    return registry;
}

const KsyProcessRegistry::Entry *KsyProcessRegistry::find(const QString &name) const
{
    for (const Entry &e : m_entries) {
        if (e.name == name)
            return &e;
    }
    return nullptr;
}
