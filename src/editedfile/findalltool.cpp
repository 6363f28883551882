#include "editedfile/findalltool.h"

#include "editedfile/editedfile.h"
#include "markup/markallcommand.h"

#include <QElapsedTimer>
#include <QLocale>
#include <QScopeGuard>

namespace {

// Hits reach the list in batches, at most this often, so that a dense file
// does not pay a row insertion per hit while the count still moves visibly.
constexpr qint64 flush_interval_ms = 50;

QString grouped(qint64 n)
{
    // "1,234" even in the C locale, which leaves out the separators by default.
    QLocale locale;
    locale.setNumberOptions(locale.numberOptions() & ~QLocale::OmitGroupSeparator);
    return locale.toString(n);
}

} // namespace

FindAllTool::FindAllTool(EditedFile *file, QObject *parent)
    : QObject(parent)
    , m_file(file)
    , m_model(new HitListModel(file, this))
{
    connect(m_file, &EditedFile::bytes_changed, this, [this] { set_stale(true); });
    connect(m_file, &EditedFile::file_changed, this, [this] { set_stale(true); });
    connect(m_file, &EditedFile::file_opened, this, &FindAllTool::clear);
}

SearchEngine::Outcome FindAllTool::run(const QString &pattern, bool regex, const QString &expression)
{
    if (m_running)
        return SearchEngine::Outcome::NoFile;
    // A caller that holds the file busy for this run (the search page locks
    // it for any search) keeps its lock; otherwise the run takes one.
    const bool lock = !m_file->is_busy();
    if (lock)
        m_file->set_busy(true);
    m_running = true;
    emit running_changed(true);
    const auto done = qScopeGuard([this, lock] {
        m_running = false;
        if (lock)
            m_file->set_busy(false);
        emit running_changed(false);
    });

    m_model->clear();
    m_pending.clear();
    m_truncated = false;
    m_expression = expression;
    set_stale(false);
    emit count_changed(0);

    m_engine.set_block_size(m_block_size);
    m_engine.reset(m_file->document());
    qint64 found = 0;
    QElapsedTimer since_flush;
    since_flush.start();
    const auto sink = [&](qint64 first, qint64 end) {
        if (found == hit_limit) {
            m_truncated = true;
            return false;
        }
        ++found;
        m_pending.push_back({first, end});
        if (since_flush.elapsed() >= flush_interval_ms) {
            flush_pending();
            since_flush.start();
        }
        return true;
    };
    const SearchEngine::Outcome outcome =
        regex ? m_engine.search_all_regex(pattern, sink) : m_engine.search_all_simple(pattern, sink);
    flush_pending();
    return outcome;
}

void FindAllTool::flush_pending()
{
    if (m_pending.empty())
        return;
    m_model->append(m_pending);
    m_pending.clear();
    emit count_changed(count());
}

QString FindAllTool::count_text() const
{
    if (m_truncated)
        return tr("Stopped at %1 hits").arg(grouped(hit_limit));
    if (count() == 1)
        return tr("1 hit");
    return tr("%1 hits").arg(grouped(count()));
}

QString FindAllTool::stale_text()
{
    return tr("The file changed since this search; run Find All again to refresh the list.");
}

void FindAllTool::clear()
{
    if (m_running)
        return;
    m_model->clear();
    m_pending.clear();
    m_truncated = false;
    m_expression.clear();
    set_stale(false);
    emit count_changed(0);
}

std::optional<SearchHit> FindAllTool::hit_in_file(int row) const
{
    if (row < 0 || row >= m_model->rowCount())
        return std::nullopt;
    SearchHit hit = m_model->hit(row);
    const qint64 size = m_file->size();
    // An empty match may stand at the end, where the cursor may be too.
    if (hit.first > size || (hit.first == size && hit.end > hit.first))
        return std::nullopt;
    hit.end = qMin(hit.end, size);
    return hit;
}

void FindAllTool::set_stale(bool stale)
{
    if (stale == m_stale || (stale && (m_running || m_model->hits().empty())))
        return;
    m_stale = stale;
    emit stale_changed(stale);
}

QString FindAllTool::mark_all(const QColor &foreground, const QColor &background)
{
    if (m_stale)
        return stale_text();
    const std::vector<SearchHit> &hits = m_model->hits();
    if (hits.empty())
        return tr("No hits to mark: Find All first");
    std::vector<MarkAllCommand::Range> ranges;
    std::vector<qint64> numbers;
    ranges.reserve(hits.size());
    numbers.reserve(hits.size());
    qint64 empty = 0;
    for (size_t i = 0; i < hits.size(); ++i) {
        if (hits[i].end == hits[i].first) {
            ++empty;
            continue;
        }
        ranges.push_back({hits[i].first, hits[i].end - 1});
        numbers.push_back(qint64(i) + 1);
    }
    const QString total = QString::number(hits.size());
    const QString expression = m_expression;
    auto *command = new MarkAllCommand(
        m_file->history(), m_file->markup_tree(), std::move(ranges),
        [numbers = std::move(numbers), total, expression](qint64 index) {
            return tr("hit %1 of %2: \"%3\"").arg(numbers[size_t(index)]).arg(total, expression);
        },
        foreground, background);
    const auto counts = command->counts();
    // A busy file says why it refused, on its own status_message().
    if (!m_file->run(command) && m_file->is_busy())
        return QString();
    QString text = counts->added == 1 ? tr("1 hit marked") : tr("%1 hits marked").arg(grouped(counts->added));
    if (counts->overlapped == 1)
        text += tr("; 1 overlapped a markup and was skipped");
    else if (counts->overlapped > 0)
        text += tr("; %1 overlapped markups and were skipped").arg(grouped(counts->overlapped));
    if (counts->coincided == 1)
        text += tr("; 1 coincided with a markup and was skipped");
    else if (counts->coincided > 0)
        text += tr("; %1 coincided with markups and were skipped").arg(grouped(counts->coincided));
    if (empty > 0)
        text += tr("; %1 empty matches cannot be marked").arg(grouped(empty));
    return text;
}
