#include "editedfile/journal.h"

#include "editedfile/byteeditcommand.h"
#include "editedfile/editedfile.h"
#include "markup/editcommand.h"
#include "markup/markupstepdecoder.h"
#include "markup/markuptree.h"
#include "settings/config.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDataStream>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QLockFile>
#include <QStandardPaths>
#include <QtEndian>

#include <cerrno>
#include <cstring>
#include <functional>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// 2 added markup_file_snapshot; journals of version 1 read as before.
constexpr qint32 format_version = 2;
// Changes are tried again no more often than this while writing fails: each
// try writes the whole state.
constexpr qint64 retry_interval_ms = 1000;

QString translated(const char *text)
{
    return QCoreApplication::translate("Journal", text);
}

// Why a small file cannot be written into `dir`: the system's reason, or
// empty when it can.
QString write_refusal(const QString &dir)
{
    const QByteArray probe = QFile::encodeName(
        dir + QStringLiteral("/.probe-%1").arg(QCoreApplication::applicationPid()));
    const int fd = ::open(probe.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    bool written = fd >= 0 && ::write(fd, "probe", 5) == 5;
    const int error = errno;
    if (fd >= 0) {
        ::close(fd);
        ::unlink(probe.constData());
    }
    return written ? QString() : QString::fromLocal8Bit(std::strerror(error));
}

qint64 mtime_of(const QString &path)
{
    const QFileInfo info(path);
    return info.exists() ? info.lastModified().toMSecsSinceEpoch() : -1;
}

qint64 size_of(const QString &path)
{
    const QFileInfo info(path);
    return info.exists() ? info.size() : -1;
}

struct Snapshot
{
    QString markup_file;
    // The tree as a markup file, or (source valid) the file that holds it.
    QByteArray markups;
    Journal::MarkupFileId source;
    QMap<qint64, quint8> edits;
    QMap<qint64, int> file_bytes;
};

QDataStream &operator<<(QDataStream &out, const Journal::MarkupFileId &id)
{
    return out << id.path << id.size << id.mtime_ns << id.device << id.inode;
}

QDataStream &operator>>(QDataStream &in, Journal::MarkupFileId &id)
{
    return in >> id.path >> id.size >> id.mtime_ns >> id.device >> id.inode;
}

bool read_snapshot(const JournalFormat::Record &record, Snapshot *snapshot)
{
    QDataStream in(record.payload);
    in.setVersion(EditCommand::record_stream_version);
    qint32 count = 0;
    in >> snapshot->markup_file;
    if (record.type == JournalFormat::Type::markup_file_snapshot)
        in >> snapshot->source;
    else
        in >> snapshot->markups;
    in >> count;
    for (qint32 i = 0; i < count && in.status() == QDataStream::Ok; ++i) {
        qint64 offset = 0;
        quint8 value = 0;
        qint16 file_byte = 0;
        in >> offset >> value >> file_byte;
        snapshot->edits.insert(offset, value);
        snapshot->file_bytes.insert(offset, file_byte);
    }
    return in.status() == QDataStream::Ok && count >= 0
           && (record.type == JournalFormat::Type::snapshot || snapshot->source.valid());
}

// Loads the markup file a snapshot names into `tree`, only while it is still
// the file the snapshot saw, before and after the read.
bool load_source(const Journal::MarkupFileId &source, MarkupTree *tree)
{
    QFile file;
    qint64 size = 0;
    if (!(Journal::MarkupFileId::of(source.path) == source)
        || !MarkupTree::open_markup_file(source.path, &file, &size))
        return false;
    return tree->load_markup_file(file, size) == MarkupTree::LoadResult::loaded
           && Journal::MarkupFileId::of(source.path) == source;
}

// The buffer a snapshot is written into, telling how much it holds now and
// then while a copy runs long: a tree of millions of markups takes seconds,
// and the status bar shows that it moves. The clock is read once in many
// writes, as the tree writes in small pieces.
class ReportingBuffer : public QBuffer
{
public:
    ReportingBuffer(QByteArray *bytes, std::function<void(qint64)> report)
        : QBuffer(bytes)
        , m_report(std::move(report))
    {
        m_clock.start();
    }
    bool reported() const { return m_reported; }

protected:
    qint64 writeData(const char *data, qint64 length) override
    {
        const qint64 written = QBuffer::writeData(data, length);
        if (++m_writes % 4096 == 0 && m_clock.elapsed() >= m_next_ms) {
            m_report(pos());
            m_reported = true;
            m_next_ms = m_clock.elapsed() + 250;
        }
        return written;
    }

private:
    std::function<void(qint64)> m_report;
    QElapsedTimer m_clock;
    // Quiet for the first half second: most copies end before.
    qint64 m_next_ms = 500;
    qint64 m_writes = 0;
    bool m_reported = false;
};

// A markup step whose markups were lost with their markup file: it holds the
// step's place in the history and changes nothing.
class LostMarkupStep : public EditCommand
{
public:
    explicit LostMarkupStep(EditHistory *history)
        : EditCommand(history, EditHistory::markup, QString())
    {
    }

protected:
    bool apply() override { return true; }
    void revert() override {}
};

// A step's payload: the command's record, then the file's byte under it
// (qint16, little-endian; -1 for a markup step), without a stream's framing:
// steps are the records written most often.
bool read_step(const QByteArray &payload, QByteArray *record, qint16 *file_byte)
{
    if (payload.size() < 3)
        return false;
    *record = payload.left(payload.size() - 2);
    *file_byte = qFromLittleEndian<qint16>(payload.constData() + payload.size() - 2);
    return true;
}

QList<QPair<qint64, quint8>> read_edits(const QByteArray &payload, bool *ok)
{
    QDataStream in(payload);
    in.setVersion(EditCommand::record_stream_version);
    qint32 count = 0;
    in >> count;
    QList<QPair<qint64, quint8>> edits;
    for (qint32 i = 0; i < count && in.status() == QDataStream::Ok; ++i) {
        qint64 offset = 0;
        quint8 value = 0;
        in >> offset >> value;
        edits.append({offset, value});
    }
    *ok = in.status() == QDataStream::Ok && count >= 0;
    return edits;
}

} // namespace

Journal::MarkupFileId Journal::MarkupFileId::of(const QString &path)
{
    MarkupFileId id;
    struct stat status {};
    if (path.isEmpty() || ::stat(QFile::encodeName(path).constData(), &status) != 0
        || !S_ISREG(status.st_mode))
        return id;
    id.path = QFileInfo(path).absoluteFilePath();
    id.size = status.st_size;
    id.mtime_ns = qint64(status.st_mtim.tv_sec) * 1000000000 + status.st_mtim.tv_nsec;
    id.device = status.st_dev;
    id.inode = status.st_ino;
    return id;
}

bool Journal::MarkupFileId::operator==(const MarkupFileId &other) const
{
    return valid() && path == other.path && size == other.size && mtime_ns == other.mtime_ns
           && device == other.device && inode == other.inode;
}

Journal::Journal(EditedFile *file)
    : m_file(file)
{
    // From the writer's thread to the file's: the state changes there.
    m_writer.set_failure_handler([this] {
        QMetaObject::invokeMethod(m_file, [this] { writer_failed(); }, Qt::QueuedConnection);
    });
}

Journal::~Journal()
{
    release();
}

bool Journal::enabled()
{
    return Config::instance()->value(QStringLiteral("Journal"), QStringLiteral("yes")).toString()
           != QLatin1String("no");
}

QString Journal::folder()
{
    return QStandardPaths::writableLocation(QStandardPaths::AppDataLocation)
           + QStringLiteral("/journal");
}

QString Journal::path_for(const QString &data_path)
{
    const QByteArray hash =
        QCryptographicHash::hash(data_path.toUtf8(), QCryptographicHash::Sha1).toHex();
    return folder() + QLatin1Char('/') + QString::fromLatin1(hash) + QStringLiteral(".pqj");
}

void Journal::bind(const QString &data_path)
{
    release();
    if (data_path.isEmpty() || !enabled())
        return;
    m_data_path = data_path;
    m_path = path_for(data_path);
    m_state = State::recording;
    m_needs_snapshot = true;
    m_seen_index = m_file->history()->index();
    if (make_folder())
        take_lock();
    // A journal another window writes is that window's to offer.
    if (m_state != State::foreign)
        read_left_behind();
    announce();
}

bool Journal::make_folder()
{
    const QString dir = folder();
    if (!QDir().mkpath(dir)) {
        fail(translated(QT_TRANSLATE_NOOP("Journal", "the folder %1 cannot be made")).arg(dir));
        return false;
    }
    QFile::setPermissions(dir, QFileDevice::ReadOwner | QFileDevice::WriteOwner
                                   | QFileDevice::ExeOwner);
    return true;
}

bool Journal::take_lock()
{
    auto lock = std::make_unique<QLockFile>(m_path + QStringLiteral(".lock"));
    // Only a lock whose process is gone is taken over, however old it is:
    // a window left open for hours still holds its journal.
    lock->setStaleLockTime(0);
    if (!lock->tryLock(0) && lock->error() == QLockFile::LockFailedError) {
        qint64 pid = 0;
        QString host;
        QString application;
        if (lock->getLockInfo(&pid, &host, &application)) {
            m_holder_pid = pid;
            m_holder_host = host;
            m_state = State::foreign;
            return false;
        }
        // A lock naming nobody was cut short as it was made (a full disk, a
        // crash): nobody holds it.
        lock->removeStaleLockFile();
        lock->tryLock(0);
    }
    if (lock->error() != QLockFile::NoError) {
        QString reason = write_refusal(folder());
        if (reason.isEmpty())
            reason = translated(QT_TRANSLATE_NOOP("Journal", "cannot be made"));
        fail(QStringLiteral("%1: %2").arg(lock->fileName(), reason));
        return false;
    }
    m_lock = std::move(lock);
    return true;
}

void Journal::read_left_behind()
{
    QFile file(m_path);
    if (!file.exists())
        return;
    QByteArray bytes;
    if (file.open(QIODevice::ReadOnly))
        bytes = file.readAll();
    file.close();
    const JournalFormat::Parsed parsed = JournalFormat::parse(bytes);
    m_records = parsed.records;
    FileProbe probe;
    probe.size = size_of(m_data_path);
    probe.mtime = mtime_of(m_data_path);
    probe.byte = [this](qint64 offset) { return m_file->file_byte(offset); };
    m_analysis = analyse(m_records, probe);
    m_found = m_analysis.found;
    m_found.dropped = parsed.dropped;
    if (!m_analysis.usable) {
        m_records.clear();
        keep_aside();
        return;
    }
    m_state = State::pending;
}

void Journal::keep_aside()
{
    // Nothing here can be recovered, but the user may know better than this
    // reader: it is kept under a name no journal takes.
    QString aside = m_path + QStringLiteral(".damaged");
    for (int n = 2; QFile::exists(aside); ++n)
        aside = m_path + QStringLiteral(".damaged.%1").arg(n);
    if (QFile::rename(m_path, aside)) {
        JournalWriter::sync_folder_of(aside);
        m_damaged_path = aside;
    } else {
        m_damaged_path = m_path;
    }
}

void Journal::release()
{
    const bool announced = m_state != State::off || !m_damaged_path.isEmpty();
    m_writer.close();
    // Closed in order: the window asked about unsaved changes first.
    if (m_state == State::recording || m_state == State::failing)
        remove_file();
    m_lock.reset();
    m_state = State::off;
    m_records.clear();
    m_found = Found();
    m_analysis = Analysis();
    m_path.clear();
    m_data_path.clear();
    m_failure.clear();
    m_damaged_path.clear();
    m_holder_pid = 0;
    m_holder_host.clear();
    if (announced)
        announce();
}

void Journal::remove_file()
{
    m_writer.close();
    if (!m_path.isEmpty())
        QFile::remove(m_path);
    m_needs_snapshot = true;
}

void Journal::fail(const QString &reason)
{
    m_writer.close();
    m_failure = reason;
    m_state = State::failing;
    m_needs_snapshot = true;
    m_last_try.start();
    announce();
}

void Journal::writer_failed()
{
    // Not in the middle of a copy that lets the event loop run: after it.
    if (m_copying) {
        m_failed_while_copying = true;
        return;
    }
    if (m_state == State::recording && m_writer.failed())
        fail(m_writer.error());
}

bool Journal::retry()
{
    if (m_state != State::failing || m_data_path.isEmpty()
        || (m_last_try.isValid() && m_last_try.elapsed() < retry_interval_ms))
        return false;
    m_last_try.start();
    // The folder may have gone, or been in the way, meanwhile.
    if (!m_lock && !(make_folder() && take_lock())) {
        announce();
        return false;
    }
    if (!start_file())
        return false;
    m_failure.clear();
    m_state = State::recording;
    announce();
    return true;
}

void Journal::go_on()
{
    m_state = State::recording;
    if (!m_lock || !m_failure.isEmpty())
        m_state = State::failing;
}

void Journal::announce()
{
    emit m_file->journal_changed();
}

bool Journal::recover()
{
    if (m_state != State::pending)
        return false;
    int replayed = 0;
    // The markup file may have changed since the question was asked.
    const MarkupFileId &source = m_analysis.last_source;
    if (source.valid() && !(MarkupFileId::of(source.path) == source))
        m_found.markup_file_lost = source.path;
    const bool markups_lost = !m_found.markup_file_lost.isEmpty();
    if (!m_found.file_changed && !markups_lost) {
        replayed = replay(m_file, m_records, m_analysis.saving_done);
    } else if (markups_lost) {
        // Neither part can be kept when the data file changed as well.
        if (m_found.file_changed)
            return false;
        // Without their markups the byte edits are replayed aside and taken
        // over as they ended; the markups stay as they are now.
        EditedFile aside;
        replayed = replay(&aside, m_records, m_analysis.saving_done);
        if (replayed > 0) {
            m_file->m_edits = aside.m_edits;
            m_file->m_history->restart();
            emit m_file->bytes_changed(0, qMax<qint64>(0, m_file->size() - 1));
        }
    } else {
        // The byte edits belong to other bytes: the markups are replayed on a
        // file of their own and taken over as they ended.
        EditedFile aside;
        replayed = replay(&aside, m_records, m_analysis.saving_done);
        if (replayed > 0) {
            m_file->m_tree->load_xml(aside.m_tree->to_xml());
            m_file->m_markup_file = aside.m_markup_file;
            m_file->m_history->restart();
        }
    }
    if (replayed == 0)
        return false;
    m_found.dropped += m_records.size() - replayed;
    if (!markups_lost)
        m_file->m_history->mark_modified(EditHistory::markup);
    if (!m_file->m_edits.isEmpty())
        m_file->m_history->mark_modified(EditHistory::bytes);
    m_seen_index = m_file->history()->index();
    go_on();
    // The new journal replaces the old one in one step, so that a crash now
    // still finds the recovered work: the records that made the history as
    // it is, or, when only one part could be kept, the state counted as the
    // changes it holds.
    if (m_state == State::recording) {
        if (m_found.file_changed || markups_lost) {
            start_file(m_found.changes);
        } else {
            start_file(0, m_records.mid(0, replayed));
            m_last_source = m_analysis.last_source;
        }
        // Byte edits all saved, markups as their file holds them: nothing
        // is left unsaved.
        if (!m_file->is_modified())
            remove_file();
    }
    m_records.clear();
    announce();
    return true;
}

void Journal::discard()
{
    if (m_state != State::pending)
        return;
    m_records.clear();
    go_on();
    remove_file();
    announce();
}

void Journal::postpone()
{
    if (m_state != State::pending)
        return;
    m_records.clear();
    m_state = State::postponed;
    announce();
}

bool Journal::begin_step()
{
    m_in_step = true;
    retry();
    if (m_state != State::recording)
        return false;
    start_if_needed();
    return m_writer.is_open();
}

void Journal::end_step(const QByteArray &record, int file_byte, bool applied, bool merged)
{
    m_in_step = false;
    m_seen_index = m_file->history()->index();
    if (!writing())
        return;
    if (!applied) {
        // Pushing dropped the redo tail, here as in a replay; a replay
        // refuses the step the same way, so it needs no record.
        m_replay_count = m_replay_index;
    } else if (record.isEmpty() || (merged && m_replay_index == 0)) {
        write_snapshot();
    } else {
        // Framed around the record, not copied: a template's step records
        // all its markups.
        QByteArray file_byte_bytes(2, '\0');
        qToLittleEndian<qint16>(qint16(file_byte), file_byte_bytes.data());
        QByteArray head;
        QByteArray tail;
        JournalFormat::frame_around(JournalFormat::Type::step, record, file_byte_bytes, &head, &tail);
        m_writer.append(QList<QByteArray> { head, record, tail });
        if (!merged) {
            m_replay_index = qMin(m_replay_index + 1, int(EditHistory::step_limit));
            m_replay_count = m_replay_index;
        }
    }
}

void Journal::history_moved(int index, int count)
{
    if (m_in_step)
        return;
    const int delta = index - m_seen_index;
    m_seen_index = index;
    // A new journal holds the state after the move.
    if (m_state == State::failing && m_file->is_modified())
        retry();
    if (m_state != State::recording)
        return;
    if (count == 0) {
        // A new history (another markup file loaded): the journal goes on
        // from the state as it is now.
        m_needs_snapshot = true;
        if (writing() && m_file->is_modified())
            write_snapshot();
        return;
    }
    if (delta == 0 || !m_file->is_modified())
        return;
    if (start_if_needed())
        return;
    const int to = m_replay_index + delta;
    if (to < 0 || to > m_replay_count) {
        write_snapshot();
        return;
    }
    QByteArray payload;
    QDataStream out(&payload, QIODevice::WriteOnly);
    out.setVersion(EditCommand::record_stream_version);
    out << qint32(delta);
    append(JournalFormat::Type::move, payload);
    m_replay_index = to;
}

void Journal::unmodified()
{
    // What a failed journal kept on disk is no unsaved work any more either.
    if (writing() || m_state == State::failing)
        remove_file();
}

void Journal::saving_bytes()
{
    if (!writing())
        return;
    QByteArray payload;
    QDataStream out(&payload, QIODevice::WriteOnly);
    out.setVersion(EditCommand::record_stream_version);
    out << qint32(m_file->m_edits.size());
    for (auto it = m_file->m_edits.cbegin(); it != m_file->m_edits.cend(); ++it)
        out << it.key() << it.value();
    append(JournalFormat::Type::saving_bytes, payload);
    m_writer.sync();
}

void Journal::saved_bytes()
{
    if (!writing())
        return;
    QByteArray payload;
    QDataStream out(&payload, QIODevice::WriteOnly);
    out.setVersion(EditCommand::record_stream_version);
    out << size_of(m_data_path) << mtime_of(m_data_path);
    append(JournalFormat::Type::saved_bytes, payload);
    m_writer.sync();
}

void Journal::saved_markup(const QString &name)
{
    if (!writing())
        return;
    QByteArray payload;
    QDataStream out(&payload, QIODevice::WriteOnly);
    out.setVersion(EditCommand::record_stream_version);
    out << name;
    append(JournalFormat::Type::saved_markup, payload);
    // The file the last snapshot names was just replaced: the markups are
    // named again as that file holds them now, and on disk at once.
    if (m_last_source.valid() && m_last_source.path == QFileInfo(name).absoluteFilePath()) {
        write_snapshot();
        m_writer.sync();
    }
}

void Journal::edits_dropped()
{
    if (writing())
        write_snapshot();
}

bool Journal::start_if_needed()
{
    if (!m_writer.is_open())
        return start_file();
    if (!m_needs_snapshot)
        return false;
    write_snapshot();
    return true;
}

bool Journal::start_file(int carried, const QList<JournalFormat::Record> &replayed)
{
    QByteArray start = JournalFormat::magic();
    if (replayed.isEmpty()) {
        start += JournalFormat::frame(JournalFormat::Type::header, header(carried));
        append_snapshot(&start);
        m_replay_index = m_replay_count = 0;
    } else {
        for (const JournalFormat::Record &record : replayed)
            start += JournalFormat::frame(record.type, record.payload);
        m_replay_index = m_file->history()->index();
        m_replay_count = m_file->history()->count();
    }
    m_needs_snapshot = false;
    if (!m_writer.start(m_path, start)) {
        // A journal that cannot be written is no reason to stop editing.
        fail(m_writer.error());
        return false;
    }
    return true;
}

void Journal::write_snapshot()
{
    QByteArray bytes;
    append_snapshot(&bytes);
    m_writer.append(bytes);
    m_replay_index = m_replay_count = 0;
    m_needs_snapshot = false;
}

void Journal::append(JournalFormat::Type type, const QByteArray &payload)
{
    m_writer.append(JournalFormat::frame(type, payload));
}

QByteArray Journal::header(int carried) const
{
    QByteArray payload;
    QDataStream out(&payload, QIODevice::WriteOnly);
    out.setVersion(EditCommand::record_stream_version);
    out << format_version << m_data_path << QDateTime::currentMSecsSinceEpoch()
        << size_of(m_data_path) << mtime_of(m_data_path);
    if (carried > 0)
        out << qint32(carried);
    return payload;
}

void Journal::append_snapshot(QByteArray *bytes)
{
    const qsizetype head = bytes->size();
    bytes->append(JournalFormat::head_size, '\0');
    ReportingBuffer device(bytes, [this, head](qint64 at) {
        emit m_file->status_message(
            QCoreApplication::translate("Journal", "Copying the markups into the journal of "
                                                   "unsaved work: %1 MB")
                .arg((at - head) >> 20));
        // The status bar paints only when the event loop runs: it does, with
        // the user's input held back until the copy is done and every other
        // change refused.
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    });
    device.open(QIODevice::WriteOnly | QIODevice::Append);
    QDataStream out(&device);
    out.setVersion(EditCommand::record_stream_version);
    out << m_file->m_markup_file;
    // Markups still as a file on disk holds them are named by that file;
    // the check on disk is a stat, however many markups it holds.
    const bool by_file = m_markups_from.valid() && !m_file->is_modified(EditHistory::markup)
                         && MarkupFileId::of(m_markups_from.path) == m_markups_from;
    m_last_source = by_file ? m_markups_from : MarkupFileId();
    if (by_file) {
        out << m_markups_from;
    } else {
        // Long work of its own unless the file is busy already (a template
        // run's step): then that work's refusal stands.
        const bool was_busy = m_file->is_busy();
        if (!was_busy)
            m_file->set_busy(true, QCoreApplication::translate(
                                       "Journal", "The markups are being copied into the journal "
                                                  "of unsaved work: wait until it is done."));
        m_copying = true;
        // The markup file as a QByteArray would be streamed: its length,
        // then its bytes, written by the tree itself.
        const qint64 length_at = device.pos();
        out << quint32(0);
        m_file->m_tree->write_markup_file(device);
        const qint64 length = device.pos() - length_at - 4;
        qToBigEndian<quint32>(quint32(length), bytes->data() + length_at);
        m_copying = false;
        if (!was_busy)
            m_file->set_busy(false);
        if (m_failed_while_copying) {
            m_failed_while_copying = false;
            QMetaObject::invokeMethod(m_file, [this] { writer_failed(); }, Qt::QueuedConnection);
        }
    }
    out << qint32(m_file->m_edits.size());
    for (auto it = m_file->m_edits.cbegin(); it != m_file->m_edits.cend(); ++it)
        out << it.key() << it.value() << qint16(m_file->file_byte(it.key()));
    device.close();
    if (device.reported())
        emit m_file->status_message(QCoreApplication::translate(
            "Journal", "The markups are in the journal of unsaved work"));
    JournalFormat::close_frame(by_file ? JournalFormat::Type::markup_file_snapshot
                                       : JournalFormat::Type::snapshot,
                               bytes, head);
}

Journal::Analysis Journal::analyse(const QList<JournalFormat::Record> &records,
                                   const FileProbe &file)
{
    Analysis analysis;
    if (records.isEmpty() || records.first().type != JournalFormat::Type::header)
        return analysis;
    qint32 version = 0;
    QString path;
    qint64 began = 0;
    qint64 size = -1;
    qint64 mtime = -1;
    QDataStream in(records.first().payload);
    in.setVersion(EditCommand::record_stream_version);
    in >> version >> path >> began >> size >> mtime;
    qint32 carried = 0;
    if (!in.atEnd())
        in >> carried;
    if (in.status() != QDataStream::Ok || version < 1 || version > format_version || carried < 0)
        return analysis;
    analysis.usable = true;
    analysis.found.changes = carried;
    // Changes since the last state the replay restarts the history from.
    int since_whole = 0;
    bool whole = carried > 0;
    analysis.found.began = QDateTime::fromMSecsSinceEpoch(began);
    // The file's byte under every edit since the last save.
    QMap<qint64, int> originals;
    int saving = -1;
    QList<QPair<qint64, quint8>> saving_edits;
    for (int i = 1; i < records.size(); ++i) {
        const JournalFormat::Record &record = records.at(i);
        switch (record.type) {
        case JournalFormat::Type::snapshot:
        case JournalFormat::Type::markup_file_snapshot: {
            Snapshot snapshot;
            if (i > 1) {
                ++analysis.found.changes;
                since_whole = 0;
                whole = true;
            }
            // Only the last snapshot's markups are what the replay ends on.
            analysis.found.markup_file_lost.clear();
            analysis.last_source = MarkupFileId();
            if (read_snapshot(record, &snapshot)) {
                analysis.last_source = snapshot.source;
                for (auto it = snapshot.file_bytes.cbegin(); it != snapshot.file_bytes.cend(); ++it)
                    originals.insert(it.key(), it.value());
                if (snapshot.source.valid()
                    && !(MarkupFileId::of(snapshot.source.path) == snapshot.source))
                    analysis.found.markup_file_lost = snapshot.source.path;
            }
            break;
        }
        case JournalFormat::Type::step: {
            ++analysis.found.changes;
            ++since_whole;
            QByteArray step;
            qint16 byte = -1;
            if (read_step(record.payload, &step, &byte) && byte >= 0) {
                const qint64 offset =
                    step.size() >= 9 ? qFromLittleEndian<qint64>(step.constData() + 1) : -1;
                if (step.at(0) == 'B' && offset >= 0 && !originals.contains(offset))
                    originals.insert(offset, byte);
            }
            break;
        }
        case JournalFormat::Type::move:
            ++analysis.found.changes;
            ++since_whole;
            break;
        case JournalFormat::Type::saving_bytes: {
            bool ok = false;
            saving_edits = read_edits(record.payload, &ok);
            saving = ok ? i : -1;
            break;
        }
        case JournalFormat::Type::saved_bytes: {
            QDataStream saved(record.payload);
            saved.setVersion(EditCommand::record_stream_version);
            saved >> size >> mtime;
            originals.clear();
            saving = -1;
            break;
        }
        default:
            break;
        }
    }
    // Killed between writing the bytes and saying so: the file tells.
    if (saving >= 0) {
        bool written = true;
        for (const auto &[offset, value] : saving_edits)
            written = written && file.byte && file.byte(offset) == value;
        if (written) {
            analysis.saving_done = saving;
            size = file.size;
            mtime = file.mtime;
            originals.clear();
        }
    }
    bool changed = file.size != size || file.mtime != mtime;
    for (auto it = originals.cbegin(); !changed && it != originals.cend(); ++it)
        changed = !file.byte || file.byte(it.key()) != it.value();
    analysis.found.file_changed = changed;
    analysis.found.undoable = whole ? since_whole : analysis.found.changes;
    // What is left of the steps comes back as one state.
    if (!analysis.found.markup_file_lost.isEmpty())
        analysis.found.undoable = 0;
    return analysis;
}

int Journal::replay(EditedFile *target, const QList<JournalFormat::Record> &records,
                    int saving_done)
{
    EditHistory *history = target->m_history;
    history->restart();
    int replayed = 0;
    // After a snapshot whose markup file is lost: markup steps hold places.
    bool markups_lost = false;
    for (int i = 0; i < records.size(); ++i) {
        const JournalFormat::Record &record = records.at(i);
        bool ok = true;
        switch (record.type) {
        case JournalFormat::Type::header:
            ok = i == 0;
            break;
        case JournalFormat::Type::snapshot:
        case JournalFormat::Type::markup_file_snapshot: {
            Snapshot snapshot;
            ok = read_snapshot(record, &snapshot);
            if (ok && snapshot.source.valid()) {
                markups_lost = !load_source(snapshot.source, target->m_tree);
                if (markups_lost)
                    target->m_tree->clear();
            } else if (ok) {
                markups_lost = false;
                ok = target->m_tree->load_xml(MarkupTree::decode_markup_file(snapshot.markups));
            }
            if (!ok)
                break;
            target->m_markup_file = snapshot.markup_file;
            target->m_edits = snapshot.edits;
            history->restart();
            emit target->bytes_changed(0, qMax<qint64>(0, target->size() - 1));
            break;
        }
        case JournalFormat::Type::step: {
            QByteArray step;
            qint16 byte = -1;
            ok = read_step(record.payload, &step, &byte);
            if (!ok)
                break;
            EditCommand *command = nullptr;
            if (step.at(0) == 'B')
                command = ByteEditCommand::from_record(step, history, target);
            else if (markups_lost)
                command = new LostMarkupStep(history);
            else
                command = MarkupStepDecoder::decode(step, history, target->m_tree);
            // A recorded step was one that changed something.
            ok = command && history->run(command);
            break;
        }
        case JournalFormat::Type::move: {
            qint32 delta = 0;
            QDataStream in(record.payload);
            in.setVersion(EditCommand::record_stream_version);
            in >> delta;
            ok = in.status() == QDataStream::Ok && delta != 0;
            const int to = history->index() + delta;
            ok = ok && to >= 0 && to <= history->count();
            if (ok)
                history->setIndex(to);
            break;
        }
        case JournalFormat::Type::saving_bytes:
            if (i != saving_done)
                break;
            Q_FALLTHROUGH();
        case JournalFormat::Type::saved_bytes:
            if (!target->m_edits.isEmpty()) {
                const qint64 first = target->m_edits.firstKey();
                const qint64 last = target->m_edits.lastKey();
                target->m_edits.clear();
                emit target->bytes_changed(first, last);
            }
            break;
        case JournalFormat::Type::saved_markup: {
            QString name;
            QDataStream in(record.payload);
            in.setVersion(EditCommand::record_stream_version);
            in >> name;
            ok = in.status() == QDataStream::Ok;
            if (ok)
                target->m_markup_file = name;
            break;
        }
        }
        if (!ok)
            break;
        ++replayed;
    }
    return replayed;
}
