#pragma once

#include "kaitai/ksycontext.h"
#include "kaitai/ksyitem.h"
#include "kaitai/ksypath.h"
#include "kaitai/ksyresult.h"

#include <QCoreApplication>
#include <QHash>
#include <QString>
#include <QStringList>

#include <atomic>
#include <functional>
#include <memory>
#include <vector>

class KsyByteSource;
struct KsyEnum;
class KsyStream;
class KsyTemplate;
struct KsyAttribute;
struct KsyCall;
struct KsyObject;
struct KsyTemplateExpression;
struct KsyType;

// Applies a template to a byte source and returns the items read.
//
// A parse that cannot go on (end of data, failed contents or valid, an
// expression error, an unknown type) keeps what it read and says where it
// stopped. Instances are computed after their object's fields; one that
// cannot be read is counted and skipped. Hostile templates end within the
// limits below, each stop saying which limit was reached; `cancel` is
// polled before every field and `progress` called every 1024 fields.
class KsyParser : private KsyContext
{
    Q_DECLARE_TR_FUNCTIONS(KsyParser)

public:
    struct Limits
    {
        // User-type objects nested inside each other (also through instances).
        int max_depth = 64;
        // Items read in all: fields, array elements and instances. A safety
        // valve against endless templates, set well above what real files
        // need; each item becomes a markup.
        qint64 max_fields = 20000000;
        // Bytes held in memory for one processed (decoded) field or string.
        qint64 max_decoded = qint64(64) << 20;
    };
    // done and total in bytes of the source.
    using Progress = std::function<void(qint64 done, qint64 total)>;

    KsyParser(std::shared_ptr<const KsyTemplate> ksy, const KsyByteSource *source);
    ~KsyParser() override;

    void set_limits(const Limits &limits) { m_limits = limits; }
    void set_progress(Progress progress) { m_progress = std::move(progress); }
    void set_cancel_flag(const std::atomic_bool *cancel) { m_cancel = cancel; }

    KsyResult parse();

private:
    struct Scope
    {
        KsyObject *object = nullptr;
        qint64 index = -1;
        const KsyValue *current = nullptr;
    };

    // KsyContext
    KsyValue name(const QString &name) override;
    KsyValue member(const KsyValue &object, const QString &name) override;
    KsyValue field_size(const KsyValue &owner, const QString &field) override;
    KsyValue enum_value(const QStringList &path) override;
    KsyValue type_size(const QString &type, bool bits) override;

    KsyValue lookup(KsyObject *object, const QString &name);
    // enum_value() without the cache.
    KsyValue enum_value_of(const QStringList &path);
    // Evaluates in the current scope; on error stops the parse and returns
    // false. An expression that did not parse stops it for good.
    bool eval(const KsyTemplateExpression &expression, KsyValue *out);
    KsyValue eval_value(const KsyTemplateExpression &expression);
    bool eval_int(const KsyTemplateExpression &expression, qint64 *out);
    bool eval_bool(const KsyTemplateExpression &expression, bool *out);

    bool parse_object(KsyObject *object);
    bool parse_attribute(KsyObject *object, const KsyAttribute &attr, const std::shared_ptr<KsyStream> &io,
                         KsyItem *parent_item, bool instance);
    bool parse_single(KsyObject *object, const KsyAttribute &attr, const std::shared_ptr<KsyStream> &io,
                      KsyItem *item, KsyValue *out);
    bool read_value(KsyObject *object, const KsyAttribute &attr, const std::shared_ptr<KsyStream> &io,
                    KsyItem *item, KsyValue *out);
    bool read_user(KsyObject *object, const KsyCall &type_ref, const std::shared_ptr<KsyStream> &io,
                   KsyItem *item, KsyValue *out);
    bool read_sized(KsyObject *object, const KsyAttribute &attr, const KsyCall &type,
                    const std::shared_ptr<KsyStream> &io, KsyItem *item, KsyValue *out);
    bool process(KsyObject *object, const KsyCall &how, QByteArray *data);
    bool check_valid(const KsyAttribute &attr, const KsyValue &value);
    // An instance read from a stream (`io`, `pos`, then the field itself).
    bool read_instance(KsyObject *object, const KsyAttribute &attr);
    bool compute_instance(KsyObject *object, const KsyAttribute &attr);
    bool resolve_endian(KsyObject *object);
    bool next_field(const std::shared_ptr<KsyStream> &io);

    // An object's name by its type's -webide-representation; empty when a
    // field it names has no value.
    QString represent(KsyObject *object);
    bool stop(const QString &reason, bool hard = false);
    // A failed `contents` or `valid` check: a stop that, before any check
    // has passed, says the file is not of this format.
    bool refuse(const QString &reason);

    std::shared_ptr<const KsyTemplate> m_template;
    const KsyByteSource *m_source;
    Limits m_limits;
    Progress m_progress;
    const std::atomic_bool *m_cancel = nullptr;

    Scope m_scope;
    KsyPath m_path;
    std::shared_ptr<KsyStream> m_io;
    std::vector<std::shared_ptr<KsyObject>> m_objects;
    // Enums by the type naming them and their name, as found.
    QHash<QPair<const KsyType *, QString>, const KsyEnum *> m_enums;
    // What an enum reference of an expression ("kind::word", kept by its
    // address in the template) gives in a type: looked up once, not hashed
    // by its text at every evaluation.
    QHash<QPair<const KsyType *, const QStringList *>, KsyValue> m_enum_values;
    KsyResult m_result;
    // Where the parse stopped: the field path, and the field and its type
    // for the place in the .ksy file; put in words when the parse ends.
    KsyPath m_stop_path;
    const KsyAttribute *m_stop_field = nullptr;
    const KsyType *m_stop_type = nullptr;
    // A stop that must not be forgiven when an instance fails: a limit or a cancel.
    bool m_hard_stop = false;
    int m_instance_depth = 0;
    // Instances being computed, by their object and id, to catch one that
    // depends on itself (kept here, not in each of a million objects).
    std::vector<std::pair<const KsyObject *, const QString *>> m_computing;
    // Where the field being read starts: a stop is reported there, not
    // wherever inside the field the reading had got to.
    qint64 m_field_start = -1;
    // The field being read and the type declaring it, for the place in the
    // .ksy file a stop names.
    const KsyAttribute *m_field = nullptr;
    const KsyType *m_field_type = nullptr;
    // Instances that could not be computed when their object was read, with
    // why; tried once more when the whole file is read, as a reader asking
    // for them then would (one may use a field its parent reads later).
    struct Deferred
    {
        KsyObject *object;
        const KsyAttribute *attr;
        // Where and why it failed, as a stop keeps them (see m_stop_path);
        // the reason is also what the instance shows in place of a value.
        qint64 at;
        KsyPath path;
        const KsyAttribute *field;
        const KsyType *field_type;
        QString reason;
        // What the failed try read, put back when there is no retry.
        std::vector<std::unique_ptr<KsyItem>> partial;
    };
    std::vector<Deferred> m_deferred;
    // What failed tries read before a later try replaced it.
    std::vector<std::unique_ptr<KsyItem>> m_replaced;
    void retry_deferred();
    // Tells the first failure left and puts back what failed tries read.
    void restore_deferred();
};
