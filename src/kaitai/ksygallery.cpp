#include "kaitai/ksygallery.h"

#include "kaitai/ksytemplate.h"

#include <QCoreApplication>
#include <QDir>
#include <QDirIterator>
#include <QFileInfo>
#include <QRegularExpression>

#include <algorithm>
#include <atomic>

namespace {

using Magic = std::vector<std::pair<int, QByteArray>>;

// Bytes a primitive type takes, 0 for any other.
int fixed_size(const QString &type)
{
    static const QRegularExpression primitive(QStringLiteral("^[usf]([1248])(le|be)?$"));
    const QRegularExpressionMatch match = primitive.match(type);
    return match.hasMatch() ? match.captured(1).toInt() : 0;
}

// The `contents` fields a type begins with, past fields of fixed size; when
// its first field is of a user type instead, that type's own (a header type
// that starts with the magic), one level down at most. Magic past the first
// kilobyte is not looked for.
void magic_of(const KsyType *type, int offset, int depth, Magic *magic)
{
    const int max_offset = 1024;
    for (const KsyAttribute &field : type->seq) {
        if (offset > max_offset || !field.if_expr.is_empty() || !field.switch_on.is_empty())
            return;
        // The first of repeated records ("sections" of a zip) starts here too.
        if (field.repeat != KsyAttribute::Repeat::none && !(magic->empty() && fixed_size(field.type.text) == 0))
            return;
        if (field.has_contents) {
            magic->push_back({ offset, field.contents });
            offset += int(field.contents.size());
            continue;
        }
        bool literal = false;
        const int size = field.size.text.toInt(&literal, 0);
        if (field.repeat != KsyAttribute::Repeat::none && (field.type.text.isEmpty() || field.type.text == QLatin1String("str")))
            return;
        if (field.type.text.isEmpty() || field.type.text == QLatin1String("str")) {
            if (!literal)
                return;
            offset += size;
        } else if (const int primitive = fixed_size(field.type.text)) {
            offset += primitive;
        } else {
            if (magic->empty() && depth == 0 && field.size.is_empty() && !field.type.text.contains(QLatin1Char('('))) {
                if (const KsyType *inner = KsyTemplate::find_type(type, field.type.text))
                    magic_of(inner, offset, depth + 1, magic);
            }
            return;
        }
    }
}

bool usable(const KsyGallery::Entry &entry)
{
    const int size = entry.magic_size();
    int zeros = 0;
    for (const auto &piece : entry.magic)
        zeros += int(piece.second.count('\0'));
    return size >= 2 && zeros < size;
}

} // namespace

int KsyGallery::Entry::magic_size() const
{
    int size = 0;
    for (const auto &piece : magic)
        size += int(piece.second.size());
    return size;
}

bool KsyGallery::Entry::magic_matches(const QByteArray &head) const
{
    for (const auto &piece : magic) {
        if (head.mid(piece.first, piece.second.size()) != piece.second)
            return false;
    }
    return !magic.empty();
}

KsyGallery::KsyGallery(const QString &root)
    : m_root(QDir(root).absolutePath())
{
    const QDir base(m_root);
    QDirIterator it(m_root, { QStringLiteral("*.ksy") }, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        QString error;
        const std::shared_ptr<KsyTemplate> ksy = KsyTemplate::load(path, m_root, &error);
        if (!ksy) {
            ++m_unreadable;
            continue;
        }
        const KsyType *top = ksy->root_type();
        Entry entry;
        entry.path = QFileInfo(path).absoluteFilePath();
        entry.folder = base.relativeFilePath(QFileInfo(path).absolutePath());
        if (entry.folder == QLatin1String("."))
            entry.folder.clear();
        entry.file_name = QFileInfo(path).fileName();
        entry.title = top->title.isEmpty() ? top->name : top->title;
        entry.extensions = top->file_extensions;
        magic_of(top, 0, 0, &entry.magic);
        if (usable(entry)) {
            const auto &last = entry.magic.back();
            m_head_size = std::max(m_head_size, last.first + int(last.second.size()));
        }
        m_entries.push_back(std::move(entry));
    }
    std::sort(m_entries.begin(), m_entries.end(), [](const Entry &a, const Entry &b) {
        return std::make_pair(a.folder, a.file_name) < std::make_pair(b.folder, b.file_name);
    });
}

std::vector<const KsyGallery::Entry *> KsyGallery::matches(const QByteArray &head, const QString &file_name) const
{
    const QString suffix = QFileInfo(file_name).suffix().toLower();
    std::vector<const Entry *> found;
    for (const Entry &entry : m_entries) {
        if (usable(entry) && entry.magic_matches(head))
            found.push_back(&entry);
    }
    const auto listed = [&suffix](const Entry *e) {
        return !suffix.isEmpty() && e->extensions.contains(suffix, Qt::CaseInsensitive);
    };
    // Entries are in folder and name order already; a stable sort keeps it.
    std::stable_sort(found.begin(), found.end(), [&listed](const Entry *a, const Entry *b) {
        if (a->magic_size() != b->magic_size())
            return a->magic_size() > b->magic_size();
        return listed(a) && !listed(b);
    });
    return found;
}

QString KsyGallery::installed_folder()
{
    const QDir application(QCoreApplication::applicationDirPath());
    for (const QString &candidate :
         { application.filePath(QStringLiteral("ksy")),
           application.filePath(QStringLiteral("../share/pellowquarnby/ksy")),
           // The build tree, seen from programs built a folder below the
           // program (the test programs).
           application.filePath(QStringLiteral("../ksy")) }) {
        if (QFileInfo(candidate).isDir())
            return QDir::cleanPath(QFileInfo(candidate).absoluteFilePath());
    }
    return QString();
}

namespace {

std::atomic_bool installed_read { false };

} // namespace

const KsyGallery &KsyGallery::installed()
{
    // Built on first use, from any thread, and kept: opening a file then
    // costs a look at its first bytes only.
    static const KsyGallery gallery = [] {
        const QString folder = installed_folder();
        KsyGallery read = folder.isEmpty() ? KsyGallery() : KsyGallery(folder);
        installed_read = true;
        return read;
    }();
    return gallery;
}

bool KsyGallery::installed_ready()
{
    return installed_read;
}
