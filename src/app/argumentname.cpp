#include "app/argumentname.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

#include <climits>
#include <cstdlib>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// The absolute, resolved bytes of an existing path; empty when there is none.
QByteArray resolved(const QByteArray &raw)
{
    char *real = ::realpath(raw.constData(), nullptr);
    if (!real)
        return {};
    QByteArray result(real);
    std::free(real);
    return result;
}

// What a link at `link` points to, as bytes; empty when it is no link.
QByteArray link_target(const QString &link)
{
    const QByteArray local = QFile::encodeName(link);
    QByteArray buffer(PATH_MAX, '\0');
    const ssize_t length = ::readlink(local.constData(), buffer.data(), size_t(buffer.size()));
    if (length <= 0 || length >= buffer.size())
        return {};
    buffer.truncate(length);
    return buffer;
}

} // namespace

QString ArgumentName::link_folder()
{
    return QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation)
           + QStringLiteral("/pellowquarnby-names");
}

QString ArgumentName::openable(const QByteArray &raw)
{
    const QString decoded = QFile::decodeName(raw);
    if (QFile::encodeName(decoded) == raw)
        return decoded;
    const QByteArray target = resolved(raw);
    if (target.isEmpty())
        return decoded;

    const QString folder = link_folder();
    if (!QDir().mkpath(folder))
        return decoded;
    ::chmod(QFile::encodeName(folder).constData(), S_IRWXU);

    // The file's own name where it is free, "name (2)" and on where another
    // file of the same decoded name holds it; a link to this very file is
    // used again.
    const QString base = QFileInfo(decoded).fileName();
    for (int attempt = 1; attempt < 1000; ++attempt) {
        const QString name = attempt == 1 ? base : QStringLiteral("%1 (%2)").arg(base).arg(attempt);
        const QString link = folder + QLatin1Char('/') + name;
        const QByteArray existing = link_target(link);
        if (existing == target)
            return link;
        if (!existing.isEmpty() || QFileInfo::exists(link) || QFileInfo(link).isSymLink())
            continue;
        if (::symlink(target.constData(), QFile::encodeName(link).constData()) == 0)
            return link;
    }
    return decoded;
}
