// Byte editing and saving of the hex widget.

#include "hexview/hexwidget.h"

#include "document/buffereddocument.h"
#include "document/hexdocument.h"
#include "markup/edithistory.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QKeyEvent>
#include <QSaveFile>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const char write_error_title[] = "File Write Error";

QString boxed(const char *text)
{
    return QStringLiteral("<font size =4>%1</font>").arg(QLatin1String(text));
}

// A run of consecutive edited bytes, written with one seek and one write.
struct EditRun
{
    qint64 offset;
    QByteArray bytes;
};

QList<EditRun> edit_runs(const QMap<qint64, quint8> &edits)
{
    QList<EditRun> runs;
    for (auto it = edits.constBegin(); it != edits.constEnd(); ++it) {
        if (runs.isEmpty() || runs.constLast().offset + runs.constLast().bytes.size() != it.key())
            runs.append(EditRun{it.key(), QByteArray()});
        runs.last().bytes.append(char(it.value()));
    }
    return runs;
}

bool sync_to_disk(int fd)
{
    return fd >= 0 && ::fdatasync(fd) == 0;
}

// Makes a rename inside `dir` durable.
void sync_directory(const QString &dir)
{
    const int fd = ::open(QFile::encodeName(dir).constData(), O_RDONLY | O_DIRECTORY);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

// A copy is no more open than the file it copies: its permission bits and,
// where this process may set it, its group. When the group cannot be kept,
// the group bits go rather than being granted to another group.
void keep_access(int fd, const struct stat &source)
{
    mode_t mode = source.st_mode & 0777;
    if (::fchown(fd, uid_t(-1), source.st_gid) != 0) {
        struct stat copy;
        if (::fstat(fd, &copy) != 0 || copy.st_gid != source.st_gid)
            mode &= ~mode_t(0070);
    }
    ::fchmod(fd, mode);
}

bool same_file(const QString &a, const QString &b)
{
    const QFileInfo fa(a);
    const QFileInfo fb(b);
    if (fa.absoluteFilePath() == fb.absoluteFilePath())
        return true;
    return fa.exists() && fb.exists() && fa.canonicalFilePath() == fb.canonicalFilePath();
}

} // namespace

bool HexWidget::edit_key(QKeyEvent *event)
{
    const qint64 cursor = m_selection_start;
    // No edit is ever stored for a position outside the file.
    if (cursor < 0 || cursor >= file_size())
        return false;
    const ByteEditCommand::State before{edited_value(cursor), m_selection_start, m_selection_end,
                                        m_pending_nibble};

    if (m_hex_column_active) {
        const int key = event->key();
        int nibble;
        if (key >= Qt::Key_0 && key <= Qt::Key_9)
            nibble = key - Qt::Key_0;
        else if (key >= Qt::Key_A && key <= Qt::Key_F)
            nibble = key - Qt::Key_A + 10;
        else
            return false;

        int value = edited_value(cursor);
        if (value < 0) {
            m_document->load(cursor, 1);
            value = m_document->first_byte();
            if (value < 0)
                return false;
        }
        if (m_pending_nibble < 0) {
            m_pending_nibble = qint16(nibble);
            value = nibble * 16 + value % 16;
        } else {
            value = (value / 16) * 16 + nibble;
            m_pending_nibble = -1;
            m_selection_start = cursor + 1;
        }
        m_edits.insert(cursor, quint8(value));
    } else {
        const QString text = event->text();
        if (text.isEmpty())
            return false;
        const char byte = text.at(0).toLatin1();
        if (byte == 0)
            return false;
        m_pending_nibble = -1;
        m_edits.insert(cursor, quint8(byte));
        m_selection_start = cursor + 1;
    }
    if (m_history) {
        // The key tail collapses the selection to the cursor.
        const ByteEditCommand::State after{edited_value(cursor), m_selection_start,
                                           m_selection_start, m_pending_nibble};
        m_history->run(new ByteEditCommand(m_history, this, cursor, before, after));
    }
    emit content_changed();
    return true;
}

void HexWidget::set_history(EditHistory *history)
{
    m_history = history;
}

void HexWidget::restore_byte(qint64 offset, const ByteEditCommand::State &state)
{
    if (state.value < 0)
        m_edits.remove(offset);
    else
        m_edits.insert(offset, quint8(state.value));
    m_selection_start = state.selection_start;
    m_selection_end = state.selection_end;
    m_pending_nibble = state.pending_nibble;
    const qint64 row = offset / 16;
    if (row < m_top_row || row >= m_top_row + visible_rows())
        set_top_row(row);
    update();
}

bool HexWidget::save_edits(const QString &name, Overwrite overwrite)
{
    if (!m_document->is_open())
        return false;
    const QString own = m_document->absolute_path();
    const bool in_place = name.isEmpty() || same_file(name, own);
    // The edits were made against the file that is open. If another file has
    // taken its name since (or none has), writing into that name would put
    // them into bytes the user never saw. A copy elsewhere is still built from
    // the open file itself, so the work can be rescued.
    if (in_place && !m_document->is_open_file(own)) {
        ask(QMessageBox::Warning, QString::fromLatin1(write_error_title),
            boxed("The file was replaced or removed since it was opened. "
                  "Save As can still write the edited bytes to another file."),
            QMessageBox::Ok, QMessageBox::Ok);
        return false;
    }
    bool saved;
    if (in_place) {
        saved = write_in_place(own);
    } else {
        if (overwrite == Overwrite::ask && QFile::exists(name)
            && ask(QMessageBox::Question, QStringLiteral("File Exists"),
                   boxed("File Exists, Overwrite?"), QMessageBox::Yes | QMessageBox::No,
                   QMessageBox::Yes)
                   != QMessageBox::Yes)
            return false;
        saved = write_copy(name);
    }
    if (!saved)
        return false;

    m_edits.clear();
    m_pending_nibble = -1;
    ++m_edit_generation;
    // After a write in place the document's window may still hold the bytes
    // from before the save; a copy left the open file as it was.
    if (in_place) {
        m_document->open(own);
        m_document->load(0, 0);
    }
    update();
    return true;
}

bool HexWidget::write_in_place(const QString &path)
{
    const auto warn = [this](const char *text) {
        ask(QMessageBox::Warning, QString::fromLatin1(write_error_title), boxed(text),
            QMessageBox::Ok, QMessageBox::Ok);
    };

    // Unbuffered: every write reaches the file at once, so a failure is seen
    // at the byte that failed and the bytes already written can be restored.
    // ExistingOnly: a file deleted since it was opened is not made anew.
    QFile file(path);
    if (!file.open(QIODevice::ReadWrite | QIODevice::Unbuffered | QIODevice::ExistingOnly)) {
        warn("Error opening file for writing.");
        return false;
    }
    const QList<EditRun> runs = edit_runs(m_edits);

    // Keep the stored bytes first; a file that shrank since the edits were
    // made would otherwise grow, and a save never changes the file's length.
    QList<QByteArray> originals;
    for (const EditRun &run : runs) {
        if (!file.seek(run.offset)) {
            warn("Error seeking.");
            return false;
        }
        const QByteArray stored = file.read(run.bytes.size());
        if (stored.size() != run.bytes.size()) {
            warn("Error seeking.");
            return false;
        }
        originals.append(stored);
    }

    const auto restore = [&](int written) {
        for (int i = 0; i < written; ++i) {
            if (file.seek(runs[i].offset))
                file.write(originals[i]);
        }
        sync_to_disk(file.handle());
    };

    for (int i = 0; i < runs.size(); ++i) {
        if (!file.seek(runs[i].offset)) {
            restore(i);
            warn("Error seeking.");
            return false;
        }
        if (file.write(runs[i].bytes) != runs[i].bytes.size()) {
            restore(i + 1);
            warn("Error writing to file.");
            return false;
        }
    }
    if (!sync_to_disk(file.handle())) {
        restore(int(runs.size()));
        warn("Error writing to file.");
        return false;
    }
    file.close();
    return true;
}

bool HexWidget::write_copy(const QString &target)
{
    const auto warn = [this](const char *text) {
        ask(QMessageBox::Warning, QString::fromLatin1(write_error_title), boxed(text),
            QMessageBox::Ok, QMessageBox::Ok);
    };

    // Read through the handle the document holds, never by name: the file
    // may have been replaced or removed since it was opened.
    const BufferedDocument *in = m_document->buffered_document();
    struct stat source_stat;
    if (::fstat(in->handle(), &source_stat) != 0) {
        warn("Error creating save file.");
        return false;
    }
    // The copy is built in a temporary file beside the target and renamed
    // over it only when complete, so a failure leaves the target untouched.
    // A device or pipe would be swapped for a plain file that way: refused.
    const QFileInfo existing(target);
    if (existing.exists() && !existing.isFile()) {
        warn("Error creating save file.");
        return false;
    }
    QSaveFile out(target);
    out.setDirectWriteFallback(false);
    if (!out.open(QIODevice::WriteOnly)) {
        warn("Error creating save file.");
        return false;
    }
    keep_access(out.handle(), source_stat);

    const qint64 size = m_document->size();
    if (!m_edits.isEmpty() && m_edits.lastKey() >= size) {
        out.cancelWriting();
        warn("Error seeking.");
        return false;
    }

    constexpr qint64 chunk_size = 1 << 20;
    auto edit = m_edits.constBegin();
    for (qint64 pos = 0; pos < size;) {
        QByteArray chunk(qMin(chunk_size, size - pos), Qt::Uninitialized);
        if (in->read_direct(pos, chunk.data(), chunk.size()) != chunk.size()) {
            out.cancelWriting();
            warn("Error creating save file.");
            return false;
        }
        const qint64 end = pos + chunk.size();
        for (; edit != m_edits.constEnd() && edit.key() < end; ++edit)
            chunk[int(edit.key() - pos)] = char(edit.value());
        if (out.write(chunk) != chunk.size()) {
            out.cancelWriting();
            warn("Error writing to file.");
            return false;
        }
        pos = end;
    }
    if (!out.flush() || !sync_to_disk(out.handle())) {
        out.cancelWriting();
        warn("Error writing to file.");
        return false;
    }
    if (!out.commit()) {
        warn("Error creating save file.");
        return false;
    }
    sync_directory(QFileInfo(target).absolutePath());
    return true;
}
