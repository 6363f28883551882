#include "editedfile/editedfile.h"

#include "document/buffereddocument.h"
#include "document/documentfailure.h"
#include "document/hexdocument.h"
#include "editedfile/bytesaver.h"
#include "editedfile/journal.h"
#include "editedfile/markupsaver.h"
#include "markup/editcommand.h"
#include "markup/markcommand.h"
#include "markup/markupexporter.h"
#include "markup/markupmodel.h"
#include "markup/markuptree.h"
#include "settings/config.h"

#include <QFile>
#include <QFileInfo>
#include <QFileSystemWatcher>
#include <QSaveFile>
#include <QScopeGuard>

namespace {

bool link_markup_enabled()
{
    return Config::instance()->value(QStringLiteral("Link Markup")).toString()
           == QLatin1String("yes");
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

EditedFile::EditedFile(QObject *parent)
    : QObject(parent)
    , m_document(new HexDocument)
    , m_model(new MarkupModel(this))
    , m_tree(new MarkupTree(m_model, this))
    , m_history(new EditHistory(this))
    , m_watcher(new QFileSystemWatcher(this))
    , m_journal(std::make_unique<Journal>(this))
{
    connect(m_watcher, &QFileSystemWatcher::fileChanged, this, &EditedFile::check_size);
    connect(m_history, &EditHistory::modified_changed, this, [this](Part part, bool modified) {
        emit modified_changed(part, modified);
        const bool any = is_modified();
        if (any != m_was_modified) {
            m_was_modified = any;
            emit modification_changed(any);
        }
    });
    connect(m_model, &MarkupModel::change_finished, this, &EditedFile::markups_changed);
    connect(m_model, &QAbstractItemModel::dataChanged, this, &EditedFile::markups_changed);
    connect(m_model, &QAbstractItemModel::modelReset, this, &EditedFile::markups_changed);
    // Markups replaced wholesale match no markup file until a load says so.
    connect(m_model, &QAbstractItemModel::modelReset, this,
            [this] { m_journal->markups_from(Journal::MarkupFileId()); });
    connect(m_tree, &MarkupTree::status_message, this, &EditedFile::status_message);
    connect(m_history, &QUndoStack::indexChanged, this,
            [this](int index) { m_journal->history_moved(index, m_history->count()); });
    connect(this, &EditedFile::modification_changed, this, [this](bool modified) {
        if (!modified)
            m_journal->unmodified();
    });
}

EditedFile::~EditedFile()
{
    // Nobody is to hear of a file going away.
    blockSignals(true);
    // Closing in order: the journal of a file left without a save goes too,
    // for the window has asked about unsaved changes first.
    m_journal->release();
    // The history's own destructor still announces its clearing.
    m_history->disconnect(this);
    delete m_document;
}

bool EditedFile::open(const QString &path)
{
    if (path.isEmpty() || refuse_if_busy())
        return false;
    m_journal->release();
    m_document->open(path);
    m_document->load(0, 0);
    m_edits.clear();
    if (!m_watcher->files().isEmpty())
        m_watcher->removePaths(m_watcher->files());
    if (m_document->is_open())
        m_watcher->addPath(m_document->absolute_path());
    m_known_size = size();
    if (m_document->is_open())
        m_journal->bind(m_document->absolute_path());
    emit file_opened();
    emit file_changed();
    emit bytes_changed(0, qMax<qint64>(0, size() - 1));
    return m_document->is_open();
}

void EditedFile::refresh()
{
    // The row the document holds may be bytes the file no longer has.
    m_document->load(0, 0);
    m_known_size = size();
    emit file_changed();
    emit bytes_changed(0, qMax<qint64>(0, size() - 1));
}

void EditedFile::check_size()
{
    const qint64 now = size();
    if (now == m_known_size)
        return;
    const qint64 before = m_known_size;
    m_known_size = now;
    emit bytes_changed(qMin(before, now), qMax(before, now) - 1);
}

bool EditedFile::is_open() const
{
    return m_document->is_open();
}

qint64 EditedFile::size() const
{
    if (!m_document->is_open())
        return 0;
    try {
        return m_document->size();
    } catch (const std::string &) {
        return 0;
    }
}

QString EditedFile::path() const
{
    return m_document->absolute_path();
}

int EditedFile::edited_value(qint64 offset) const
{
    const auto it = m_edits.constFind(offset);
    return it == m_edits.constEnd() ? -1 : int(it.value());
}

int EditedFile::file_byte(qint64 offset) const
{
    if (!m_document->is_open() || offset < 0)
        return -1;
    char byte = 0;
    try {
        m_document->buffered_document()->read(1, offset, &byte);
    } catch (const std::string &) {
        return -1;
    }
    return quint8(byte);
}

int EditedFile::byte_at(qint64 offset) const
{
    const int edited = edited_value(offset);
    return edited >= 0 ? edited : file_byte(offset);
}

QByteArray EditedFile::read(qint64 offset, int length) const
{
    if (!m_document->is_open() || offset < 0 || length <= 0)
        return QByteArray();
    const qint64 available = qMax<qint64>(0, size() - offset);
    QByteArray bytes(int(qMin<qint64>(length, available)), Qt::Uninitialized);
    try {
        m_document->buffered_document()->read(int(bytes.size()), offset, bytes.data());
    } catch (const std::string &) {
        return QByteArray();
    }
    for (auto it = m_edits.lowerBound(offset);
         it != m_edits.constEnd() && it.key() < offset + bytes.size(); ++it)
        bytes[int(it.key() - offset)] = char(it.value());
    return bytes;
}

bool EditedFile::type_byte(qint64 offset, quint8 value, const ByteEditCommand::Cursor &before,
                           const ByteEditCommand::Cursor &after)
{
    if (refuse_if_busy())
        return false;
    // No edit is ever stored for a position outside the file.
    const int shown = byte_at(offset);
    if (offset < 0 || offset >= size() || shown < 0)
        return false;
    // The typing view has its cursor where it wants it already.
    m_typing = true;
    const bool typed = push(new ByteEditCommand(m_history, this, offset,
                                                {edited_value(offset), shown, before},
                                                {value, value, after}),
                            edited_value(offset) < 0 ? shown : -1);
    m_typing = false;
    return typed;
}

void EditedFile::restore_byte(qint64 offset, const ByteEditCommand::State &state)
{
    // An edit the user made stays an edit; "not edited" means the file's
    // byte, which after a save may no longer be the one the user saw then.
    if (state.edit >= 0)
        m_edits.insert(offset, quint8(state.edit));
    else if (file_byte(offset) == state.shown)
        m_edits.remove(offset);
    else
        m_edits.insert(offset, quint8(state.shown));
    emit bytes_changed(offset, offset);
    if (!m_typing)
        emit cursor_restored(state.cursor);
}

bool EditedFile::save_bytes(const QString &name, QString *error)
{
    if (refuse_if_busy() || !m_document->is_open())
        return false;
    const QString own = m_document->absolute_path();
    const bool in_place = saves_in_place(name);
    // The edits were made against the file that is open. If another file has
    // taken its name since (or none has), writing into that name would put
    // them into bytes the user never saw. A copy elsewhere is still built from
    // the open file itself, so the work can be rescued.
    if (in_place && !m_document->is_open_file(own)) {
        if (error)
            *error = tr("The file was replaced or removed since it was opened. "
                        "Save As can still write the edited bytes to another file.");
        return false;
    }
    if (in_place)
        m_journal->saving_bytes();
    const bool saved = in_place
                           ? ByteSaver::write_in_place(own, m_edits, error)
                           : ByteSaver::write_copy(*m_document->buffered_document(), m_edits,
                                                   name, error);
    if (!saved)
        return false;

    const qint64 last = m_edits.isEmpty() ? -1 : m_edits.lastKey();
    const qint64 first = m_edits.isEmpty() ? 0 : m_edits.firstKey();
    m_edits.clear();
    // After a write in place the document's window may still hold the bytes
    // from before the save; a copy left the open file as it was.
    if (in_place) {
        m_document->open(own);
        m_document->load(0, 0);
        m_journal->saved_bytes();
        m_history->mark_saved(EditHistory::bytes);
    } else {
        m_journal->edits_dropped();
    }
    if (last >= 0)
        emit bytes_changed(first, last);
    return true;
}

bool EditedFile::saves_in_place(const QString &name) const
{
    return name.isEmpty() || same_file(name, m_document->absolute_path());
}

bool EditedFile::run(EditCommand *command)
{
    if (refuse_if_busy()) {
        delete command;
        return false;
    }
    return push(command);
}

bool EditedFile::run_while_busy(EditCommand *command, const std::function<bool()> &prepare)
{
    // The journal's step opens first, so that it starts from the state
    // before the change.
    const bool recording = m_journal->begin_step();
    if (!prepare()) {
        m_journal->abandon_step();
        delete command;
        return false;
    }
    const QByteArray record = recording ? command->record() : QByteArray();
    const bool applied = m_history->run(command);
    m_journal->end_step(record, -1, applied, m_history->last_run_merged());
    return applied;
}

bool EditedFile::push(EditCommand *command, int original)
{
    // The record is taken before the push: a step that merges is gone after.
    const QByteArray record = m_journal->begin_step() ? command->record() : QByteArray();
    const bool applied = m_history->run(command);
    m_journal->end_step(record, original, applied, m_history->last_run_merged());
    return applied;
}

bool EditedFile::mark(qint64 first, qint64 last, const QString &description,
                      const MarkupValueType &type)
{
    if (refuse_if_busy())
        return false;
    // The size now, not the one the caller saw: the file may have shrunk
    // underneath since.
    if (qMin(first, last) < 0 || qMax(first, last) >= size()) {
        check_size();
        emit status_message(past_end_message());
        return false;
    }
    const QString text = description.isEmpty() ? QStringLiteral("Description") : description;
    if (run(new MarkCommand(m_history, m_tree, first, last, text, type)))
        return true;
    emit status_message(tr("Selections cannot overlap"));
    return false;
}

QString EditedFile::past_end_message()
{
    return tr("Cannot mark past the end of the file");
}

EditedFile::MarkupRead EditedFile::read_markup(const QString &name,
                                               const MarkupTree::LoadProgress &progress)
{
    if (refuse_if_busy())
        return MarkupRead::refused;
    // Only a regular file of sensible size: a FIFO or a device named as the
    // markup file (at start-up, through a link) must not hang the program.
    QFile file;
    qint64 size = 0;
    if (!MarkupTree::open_markup_file(name, &file, &size))
        return MarkupRead::unreadable;
    const Journal::MarkupFileId source = Journal::MarkupFileId::of(name);
    MarkupTree::LoadResult result;
    {
        // The progress report may let the event loop run: nothing may change
        // the markups or the history until the loaded ones are in.
        set_busy(true, tr("A markup file is being loaded: cancel it first."));
        const auto idle = qScopeGuard([this] { set_busy(false); });
        result = m_tree->load_markup_file(file, size, progress);
    }
    if (result == MarkupTree::LoadResult::cancelled)
        return MarkupRead::cancelled;
    if (result == MarkupTree::LoadResult::too_large)
        return MarkupRead::too_large;
    // The journal names the file rather than copy its markups, while it
    // stayed the same through the read.
    if (result == MarkupTree::LoadResult::loaded && Journal::MarkupFileId::of(name) == source)
        m_journal->markups_from(source);
    // Loaded markups start a new history.
    m_history->restart();
    if (result == MarkupTree::LoadResult::loaded)
        return MarkupRead::loaded;
    // The tree holds only part of the file, or none: neither the damaged
    // file nor the one before (whose markups are gone) may be saved over.
    m_markup_file.clear();
    return MarkupRead::failed;
}

bool EditedFile::save_markup(const QString &name)
{
    if (refuse_if_busy())
        return false;
    // The markup file and its link follow only a save that succeeded.
    if (!MarkupSaver::write(*m_tree, name))
        return false;
    m_markup_file = name;
    m_journal->markups_from(Journal::MarkupFileId::of(name));
    m_history->mark_saved(EditHistory::markup);
    m_journal->saved_markup(name);
    link_markup_file(name);
    return true;
}

bool EditedFile::export_markups(const QString &name) const
{
    const MarkupExporter::Format format = MarkupExporter::format_of(name);
    if (format == MarkupExporter::Format::unknown)
        return false;
    // Written beside the target and renamed over it only when complete, so a
    // failure never leaves half a file; a device or pipe would be swapped
    // for a plain file that way: refused.
    const QFileInfo existing(name);
    if (existing.exists() && !existing.isFile())
        return false;
    const bool open = is_open();
    QSaveFile file(name);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    // JSON, the format for large trees, goes out as it is made.
    bool written = false;
    if (format == MarkupExporter::Format::json) {
        written = MarkupExporter::write_json(m_model->root(), &file);
    } else {
        const QByteArray bytes = MarkupExporter::write(format, m_model->root(),
                                                       open ? path() : QString(),
                                                       open ? size() : -1);
        written = file.write(bytes) == bytes.size();
    }
    if (!written || !file.flush()) {
        file.cancelWriting();
        return false;
    }
    return file.commit();
}

QString EditedFile::link_key(const QString &data_path)
{
    quint32 hash = 5381;
    const QByteArray bytes = data_path.toLatin1();
    for (const char c : bytes)
        hash = hash * 33u + static_cast<quint32>(static_cast<qint32>(static_cast<signed char>(c)));
    return QStringLiteral("Link/") + QString::number(hash & 0x7fffffffu);
}

void EditedFile::link_markup_file(const QString &markup_path)
{
    if (!link_markup_enabled())
        return;
    const QString data_path = Config::instance()->value(QStringLiteral("filename")).toString();
    // With no data file there is nothing to link the markup to.
    if (data_path.isEmpty())
        return;
    Config::instance()->setValue(link_key(data_path), data_path + QLatin1Char('|') + markup_path);
}

EditedFile::MarkupRead EditedFile::load_linked_markup(const QString &data_path,
                                                      const MarkupTree::LoadProgress &progress)
{
    if (!link_markup_enabled())
        return MarkupRead::none;
    const QString value = Config::instance()->value(link_key(data_path)).toString();
    // The value is "<data path>|<markup path>". When it names this data file,
    // everything after it is the markup path, "|" in either path included;
    // otherwise (another file with the same key) the second field is used.
    const QString prefix = data_path + QLatin1Char('|');
    const QString before = m_markup_file;
    m_markup_file = value.startsWith(prefix) ? value.mid(prefix.size())
                                             : value.section(QLatin1Char('|'), 1, 1);
    if (m_markup_file.isEmpty())
        return MarkupRead::none;
    const MarkupRead result = read_markup(m_markup_file, progress);
    if (result == MarkupRead::cancelled)
        m_markup_file = before;
    return result;
}

bool EditedFile::is_modified(Part part) const
{
    return m_history->is_modified(part);
}

bool EditedFile::is_modified() const
{
    return is_modified(EditHistory::bytes) || is_modified(EditHistory::markup);
}

bool EditedFile::undo()
{
    if (refuse_if_busy() || !m_history->canUndo())
        return false;
    m_history->undo();
    return true;
}

bool EditedFile::redo()
{
    if (refuse_if_busy() || !m_history->canRedo())
        return false;
    m_history->redo();
    return true;
}

void EditedFile::set_busy(bool busy, const QString &refusal)
{
    m_busy = busy;
    m_busy_refusal = refusal.isEmpty() ? busy_message() : refusal;
}

bool EditedFile::refuse_if_busy()
{
    if (!m_busy)
        return false;
    emit status_message(m_busy_refusal);
    return true;
}

QString EditedFile::busy_message()
{
    return tr("A search is running: cancel it first.");
}
