// Files come from anywhere: a template applied to any bytes must end within
// its limits, keep its items inside the file, and yield markups that nest,
// so that all of them go into an empty markup tree as one undo step that
// takes them all out again.
//
// The first byte chooses the template: one of the small ones below, which
// between them use every kind of field, or one of the example templates in
// ksy/. The rest is the file.
#include "fuzzsupport.h"

#include "kaitai/ksybuffersource.h"
#include "kaitai/ksymarkcommand.h"
#include "kaitai/ksymarkupbuilder.h"
#include "kaitai/ksyparser.h"
#include "kaitai/ksytemplate.h"
#include "markup/edithistory.h"
#include "markup/markupmodel.h"
#include "markup/markupnode.h"
#include "markup/markupstepdecoder.h"
#include "markup/markuptree.h"

#include <QByteArray>
#include <QFileInfo>
#include <QString>

#include <cstdint>
#include <memory>
#include <vector>

namespace {

const char *const small_templates[] = {
    // Scalars of every kind, bit fields across bytes, an enum.
    R"(meta: {id: scalars, endian: le}
seq:
  - {id: x, type: u2}
  - {id: top, type: b3}
  - {id: rest, type: b13}
  - {id: low, type: b4le}
  - {id: f, type: f4}
  - {id: d, type: f8be}
  - {id: e, type: u1, enum: kind}
  - {id: s, type: s8}
enums: {kind: {1: one, 2: two}}
)",
    // Strings: terminators, padding, two encodings, the rest of the file.
    R"(meta: {id: strings, endian: be, encoding: UTF-8}
seq:
  - {id: z, type: strz}
  - {id: t, type: str, terminator: 0x2c, include: true}
  - {id: n, type: str, terminator: 0x2e, consume: false}
  - {id: p, type: str, size: 4, pad-right: 0x20, encoding: UTF-16LE}
  - {id: rest, type: str, size-eos: true, encoding: ASCII}
)",
    // Chunks to the end: sizes, a switch, substreams, recursion.
    R"(meta: {id: chunks, endian: be}
seq:
  - {id: magic, size: 2}
  - {id: chunks, type: chunk, repeat: eos}
types:
  chunk:
    seq:
      - {id: len, type: u1}
      - {id: kind, type: u1}
      - id: body
        size: len
        type:
          switch-on: kind
          cases:
            1: pair
            2: chunk
            3: text
    instances:
      first_byte: {pos: 0, type: u1}
  pair:
    seq: [{id: a, type: u1}, {id: b, type: u2le, if: a > 3}]
  text:
    seq: [{id: t, type: strz, encoding: ASCII, repeat: until, repeat-until: _ == "" or _io.eof}]
)",
    // A table at an offset whose entries point anywhere in the file.
    R"(meta: {id: table, endian: le}
seq:
  - {id: n, type: u1}
  - {id: ofs, type: u2}
instances:
  entries: {pos: ofs, type: entry, repeat: expr, repeat-expr: n}
types:
  entry:
    seq: [{id: start, type: u2}, {id: len, type: u1}]
    instances:
      body: {pos: start, size: len, io: _root._io}
      back: {value: _parent.n + start}
)",
    // Processed bytes parsed again.
    R"(meta: {id: processed}
seq:
  - {id: key, type: u1}
  - {id: x, size: 4, process: xor(key)}
  - {id: r, size: 2, process: rol(3)}
  - {id: z, size-eos: true, process: zlib, type: inner}
types:
  inner:
    seq: [{id: items, type: u1, repeat: eos}]
)",
    // Parameters, computed sizes, valid, repeat-until on a member.
    R"(meta: {id: records, endian: le}
seq:
  - {id: k, type: u1, valid: {min: 0, max: 200}}
  - {id: v, type: 'rec(k % 3)', repeat: until, repeat-until: _.last or _io.eof}
types:
  rec:
    params: [{id: mode, type: u1}]
    seq:
      - {id: val, type: u1}
      - {id: more, size: 'mode == 0 ? val % 4 : (val >> 2) & 3'}
    instances:
      last: {value: (val & 0x80) != 0}
      total: {value: _sizeof + sizeof<u4>}
)",
    // Byte order chosen by the file.
    R"(meta: {id: ordered}
seq:
  - {id: order, type: u1}
  - {id: body, type: b}
types:
  b:
    meta:
      endian:
        switch-on: _root.order
        cases: {0: le, _: be}
    seq: [{id: w, type: u4}, {id: items, type: u2, repeat: expr, repeat-expr: w & 0xff}]
)",
};

const char *const example_templates[] = {
    "image/png",    "image/gif",         "image/bmp",        "image/ico",       "image/tga",
    "image/exif",   "image/icc_4",       "archive/zip",      "archive/gzip",    "archive/cpio_old_le",
    "executable/elf", "executable/dos_mz", "media/wav",      "common/riff",     "serialization/bson",
};

std::vector<std::shared_ptr<KsyTemplate>> load_templates()
{
    std::vector<std::shared_ptr<KsyTemplate>> all;
    for (const char *yaml : small_templates) {
        QString error;
        auto t = KsyTemplate::from_yaml(QByteArray(yaml), QStringLiteral("small.ksy"), QString(), &error);
        if (!t) {
            std::fprintf(stderr, "a small template does not load: %s\n", qPrintable(error));
            std::abort();
        }
        all.push_back(t);
    }
    // The examples when the source tree is where it was built from.
    const QString gallery = QStringLiteral(PQ_KSY_GALLERY);
    for (const char *name : example_templates) {
        const QString path = gallery + QLatin1Char('/') + QLatin1String(name) + QStringLiteral(".ksy");
        if (!QFileInfo::exists(path))
            continue;
        QString error;
        auto t = KsyTemplate::load(path, gallery, &error);
        if (!t) {
            std::fprintf(stderr, "%s does not load: %s\n", qPrintable(path), qPrintable(error));
            std::abort();
        }
        all.push_back(t);
    }
    return all;
}

// Children inside their parent, in order, not overlapping, then those read
// from decoded bytes, each of exactly its parent's range; returns the
// number of markups seen.
template<typename Nodes>
qint64 check_nesting(const Nodes &markups, const MarkupNode *parent, qint64 first, qint64 last, int depth)
{
    PQ_FUZZ_CHECK(depth <= KsyMarkupBuilder::max_depth);
    qint64 seen = 0;
    qint64 previous = first - 1;
    bool decoded = false;
    for (const auto &m : markups) {
        PQ_FUZZ_CHECK(m->parent_node() == parent);
        PQ_FUZZ_CHECK(m->length() == m->end() - m->start() + 1);
        const bool same = m->start() == first && m->end() == last;
        if ((depth > 1 && same) || decoded) {
            PQ_FUZZ_CHECK(same && depth > 1);
            decoded = true;
        } else {
            PQ_FUZZ_CHECK(m->start() > previous && m->start() <= m->end() && m->end() <= last);
            previous = m->end();
        }
        seen += 1 + check_nesting(m->children(), &*m, m->start(), m->end(), depth + 1);
    }
    return seen;
}

qint64 tree_size(const MarkupNode *root)
{
    qint64 n = 0;
    std::vector<const MarkupNode *> pending(root->children().cbegin(), root->children().cend());
    while (!pending.empty()) {
        const MarkupNode *node = pending.back();
        pending.pop_back();
        ++n;
        pending.insert(pending.end(), node->children().cbegin(), node->children().cend());
    }
    return n;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static const std::vector<std::shared_ptr<KsyTemplate>> templates = load_templates();
    if (size == 0)
        return 0;
    const QByteArray file(reinterpret_cast<const char *>(data) + 1, qsizetype(size - 1));
    KsyBufferSource source(file);
    KsyParser parser(templates[data[0] % templates.size()], &source);
    KsyParser::Limits limits;
    limits.max_depth = 16;
    limits.max_fields = 4000;
    limits.max_decoded = 1 << 20;
    parser.set_limits(limits);
    const KsyResult result = parser.parse();
    PQ_FUZZ_CHECK(result.root != nullptr);
    PQ_FUZZ_CHECK(result.fields <= limits.max_fields);

    std::vector<const KsyItem *> pending { result.root.get() };
    while (!pending.empty()) {
        const KsyItem *item = pending.back();
        pending.pop_back();
        if (item->has_range())
            PQ_FUZZ_CHECK(item->end <= file.size());
        for (const auto &child : item->children)
            pending.push_back(child.get());
    }

    KsyMarkupBuilder::Outcome outcome = KsyMarkupBuilder::build(*result.root);
    PQ_FUZZ_CHECK(check_nesting(outcome.markups, nullptr, 0, file.size() - 1, 1) == outcome.count);
    if (outcome.count == 0)
        return 0;

    EditHistory history;
    MarkupModel model;
    MarkupTree tree(&model);
    auto *command = new KsyMarkCommand(&history, &tree, std::move(outcome.markups));
    const auto counts = command->counts();
    PQ_FUZZ_CHECK(history.run(command));
    PQ_FUZZ_CHECK(counts->refused == 0 && counts->added == outcome.count);
    PQ_FUZZ_CHECK(tree_size(model.root()) == outcome.count);
    history.undo();
    PQ_FUZZ_CHECK(model.root()->child_count() == 0);
    history.redo();
    PQ_FUZZ_CHECK(tree_size(model.root()) == outcome.count);
    // The journal's record makes the same markups in another empty tree.
    EditHistory replayed_history;
    MarkupModel replayed_model;
    MarkupTree replayed(&replayed_model);
    EditCommand *again = MarkupStepDecoder::decode(command->record(), &replayed_history, &replayed);
    PQ_FUZZ_CHECK(again && replayed_history.run(again));
    PQ_FUZZ_CHECK(replayed.to_xml() == tree.to_xml());
    return 0;
}
