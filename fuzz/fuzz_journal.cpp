// Journals are read after crashes, power cuts and failing disks: whatever
// the bytes, reading must keep exactly the frames that check out, and
// replaying them must neither crash nor hang.
#include "fuzzsupport.h"

#include "editedfile/editedfile.h"
#include "editedfile/journal.h"
#include "editedfile/journalformat.h"
#include "markup/edithistory.h"

#include <QByteArray>

#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    const JournalFormat::Parsed parsed = JournalFormat::parse(bytes);
    if (!parsed.recognised) {
        PQ_FUZZ_CHECK(parsed.records.isEmpty());
        return 0;
    }
    // The valid prefix is exactly its records framed again, and reading it
    // alone loses nothing.
    PQ_FUZZ_CHECK(parsed.valid_length <= bytes.size());
    QByteArray framed = JournalFormat::magic();
    for (const JournalFormat::Record &record : parsed.records)
        framed += JournalFormat::frame(record.type, record.payload);
    PQ_FUZZ_CHECK(framed == bytes.left(parsed.valid_length));
    const JournalFormat::Parsed prefix = JournalFormat::parse(framed);
    PQ_FUZZ_CHECK(prefix.dropped == 0 && prefix.records.size() == parsed.records.size());
    PQ_FUZZ_CHECK((parsed.dropped == 0) == (parsed.valid_length == bytes.size()));

    const Journal::Analysis analysis = Journal::analyse(parsed.records, Journal::FileProbe());
    EditedFile file;
    const int replayed = Journal::replay(&file, parsed.records, analysis.saving_done);
    PQ_FUZZ_CHECK(replayed >= 0 && replayed <= parsed.records.size());
    PQ_FUZZ_CHECK(file.history()->index() <= file.history()->count());
    // What was replayed can still be undone and redone.
    while (file.undo()) {
    }
    while (file.redo()) {
    }
    return 0;
}
