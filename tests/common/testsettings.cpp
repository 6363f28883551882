#include "testsettings.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QSettings>
#include <QTemporaryDir>

namespace pq_test {

namespace {
QTemporaryDir &temp_root()
{
    static QTemporaryDir dir;
    return dir;
}
} // namespace

QString isolate_settings()
{
    const QString path = temp_root().path() + "/settings";
    QDir().mkpath(path);
    qputenv("XDG_CONFIG_HOME", path.toUtf8());
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, path);
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, path);
    return path;
}

QString make_temp_file(qint64 size, const QByteArray &contents)
{
    static int counter = 0;
    const QString name = temp_root().path() + QString("/data%1.bin").arg(++counter);
    QFile f(name);
    if (!f.open(QIODevice::WriteOnly))
        qFatal("cannot create %s", qPrintable(name));
    if (!contents.isEmpty()) {
        f.write(contents);
    } else {
        QByteArray block(65536, '\0');
        qint64 written = 0;
        while (written < size) {
            const qint64 n = qMin<qint64>(block.size(), size - written);
            for (qint64 i = 0; i < n; ++i)
                block[int(i)] = char(((written + i) * 7 + 3) & 0xFF);
            f.write(block.constData(), n);
            written += n;
        }
    }
    return name;
}

} // namespace pq_test
