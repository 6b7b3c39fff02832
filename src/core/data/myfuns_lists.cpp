#include "core/data/myfuns_lists.h"

#include <QDate>
#include <QHash>
#include <QPointer>
#include <QRegularExpression>

#include "core/data/datamodule.h"

namespace hx {

namespace {

TdataFrm& module() {
    TdataFrm* m = dataFrm();
    if (!m) throw Error(QStringLiteral("数据模块尚未创建。"));
    return *m;
}

// The scratch query is shared by every window: whatever happens, it is left closed for the next user.
class ScratchQuery {
  public:
    ScratchQuery(const QString& sql, const QVariantList& params) : m_ds(module().tdTempFill) {
        m_ds.close();
        m_ds.setSql(sql);
        m_ds.setParams(params);
        m_ds.open();
    }
    // The values go too: the next user may set a statement without any and must not inherit these.
    ~ScratchQuery() {
        m_ds.close();
        m_ds.setParams({});
    }
    ScratchQuery(const ScratchQuery&) = delete;
    ScratchQuery& operator=(const ScratchQuery&) = delete;
    DataSet& operator*() { return m_ds; }
    DataSet* operator->() { return &m_ds; }

  private:
    DataSet& m_ds;
};

QString plainText(const QVariant& v) {
    if (!v.isValid() || v.isNull()) return QString();
    if (v.userType() == qMetaTypeId<Money>()) return v.value<Money>().toPlainString();
    if (v.typeId() == QMetaType::QDate) return v.toDate().toString(Qt::ISODate);
    return v.toString();
}

void requirePlainName(const QString& name) {
    static const QRegularExpression plain(QStringLiteral("^[A-Za-z_][A-Za-z0-9_]*$"));
    if (!plain.match(name).hasMatch()) throw DbError(QStringLiteral("“%1”不是有效的表名或列名。").arg(name));
}

// The caches are read per displayed cell, so each keeps a hash by key beside its data set. The hash is
// dropped whenever its data set is closed, and only answers for the data set it was built from.
template <class Entry>
class CacheIndex {
  public:
    void rebuild(DataSet& source, QHash<int, Entry>&& entries) {
        QObject::disconnect(m_watch);
        m_entries = std::move(entries);
        m_source = &source;
        m_watch = QObject::connect(&source, &DataSet::stateChanged, [this](DataSetState state) {
            if (state == DataSetState::Inactive) clear();
        });
    }
    void clear() {
        QObject::disconnect(m_watch);
        m_entries.clear();
        m_source = nullptr;
    }
    const Entry* find(int key) const {
        if (!m_source || !m_source->isOpen()) return nullptr;
        const auto it = m_entries.constFind(key);
        return it == m_entries.constEnd() ? nullptr : &it.value();
    }

  private:
    QPointer<DataSet> m_source;
    QHash<int, Entry> m_entries;
    QMetaObject::Connection m_watch;
};

struct JobEntry {
    QString code;
    std::optional<Money> price;
};

CacheIndex<QString>& staffIndex() {
    static CacheIndex<QString> index;
    return index;
}

CacheIndex<JobEntry>& jobIndex() {
    static CacheIndex<JobEntry> index;
    return index;
}

// Creates the cache afresh with the given fields and fills it row by row, quietly: no view watches a
// cache, so the per-row change signals are switched off for the load.
void refill(DataSet& cache, const QVector<Field>& fields, int rows,
            const std::function<void(DataSet&, int)>& fillRow) {
    cache.close();
    cache.defineFields(fields);
    cache.open();
    cache.disableControls();
    try {
        for (int r = 0; r < rows; ++r) {
            cache.append();
            fillRow(cache, r);
            cache.post();
        }
    } catch (...) {
        cache.cancel();
        cache.enableControls();
        cache.close();
        throw;
    }
    cache.enableControls();
    cache.first();
}

}  // namespace

QStringList firstColumnTexts(const Query& query) {
    ScratchQuery q(query.sql, query.params);
    QStringList items;
    const int rows = q->recordCount();
    items.reserve(rows);
    for (int r = 0; r < rows; ++r) items << plainText(q->valueAt(r, 0));
    return items;
}

int GetIDByCode(const QString& table, const QString& resultColumn, const QString& keyColumn,
                const QVariant& value) {
    requirePlainName(table);
    requirePlainName(resultColumn);
    requirePlainName(keyColumn);
    ScratchQuery q(QStringLiteral("select %1 from %2 where %3=?").arg(resultColumn, table, keyColumn),
                   {value});
    if (q->isEmpty()) return 0;
    const QVariant id = q->valueAt(0, 0);
    if (id.isNull()) return 0;
    return int(id.toLongLong());
}

QString cutToWidth(const QString& text, int width) {
    int used = 0;
    int end = 0;
    const int n = int(text.size());
    while (end < n) {
        const bool pair = text.at(end).isHighSurrogate() && end + 1 < n && text.at(end + 1).isLowSurrogate();
        const int w = text.at(end).unicode() < 0x80 ? 1 : 2;
        if (used + w > width) break;
        used += w;
        end += pair ? 2 : 1;
    }
    return end == n ? text : text.left(end);
}

void LoadStaffCache() {
    TdataFrm& m = module();
    ScratchQuery q(QStringLiteral("select staffID, StaffCode, StaffName from staff"), {});
    const int rows = q->recordCount();
    QVector<int> ids(rows);
    QStringList texts;
    texts.reserve(rows);
    for (int r = 0; r < rows; ++r) {
        ids[r] = int(q->valueAt(r, 0).toLongLong());
        texts << cutToWidth(
            plainText(q->valueAt(r, 1)) + QStringLiteral("      ") + plainText(q->valueAt(r, 2)),
            StaffCacheWidth);
    }
    staffIndex().clear();
    Field text(QStringLiteral("staffCode"), FieldType::Text, StaffCacheWidth);
    refill(m.cdsMstaff, {Field(QStringLiteral("staffID"), FieldType::Integer), text}, rows,
           [&](DataSet& cache, int r) {
               cache.setValue(0, qint64(ids[r]));
               cache.setValue(1, texts[r]);
           });
    QHash<int, QString> entries;
    entries.reserve(rows);
    for (int r = 0; r < rows; ++r) entries.insert(ids[r], texts[r]);
    staffIndex().rebuild(m.cdsMstaff, std::move(entries));
}

void LoadJobCache() {
    TdataFrm& m = module();
    ScratchQuery q(QStringLiteral("select JobID, JobCode, unitPrice from Job"), {});
    const int rows = q->recordCount();
    QVector<int> ids(rows);
    QVector<JobEntry> jobs(rows);
    for (int r = 0; r < rows; ++r) {
        ids[r] = int(q->valueAt(r, 0).toLongLong());
        jobs[r].code = cutToWidth(plainText(q->valueAt(r, 1)), JobCacheWidth);
        const QVariant price = q->valueAt(r, 2);
        if (!price.isNull()) jobs[r].price = Money::fromVariant(price);
    }
    jobIndex().clear();
    refill(m.cdsMjob,
           {Field(QStringLiteral("jobID"), FieldType::Integer),
            Field(QStringLiteral("jobCode"), FieldType::Text, JobCacheWidth),
            Field(QStringLiteral("unitPrice"), FieldType::Money)},
           rows, [&](DataSet& cache, int r) {
               cache.setValue(0, qint64(ids[r]));
               cache.setValue(1, jobs[r].code);
               cache.setValue(2, jobs[r].price ? QVariant::fromValue(*jobs[r].price) : QVariant());
           });
    QHash<int, JobEntry> entries;
    entries.reserve(rows);
    for (int r = 0; r < rows; ++r) entries.insert(ids[r], jobs[r]);
    jobIndex().rebuild(m.cdsMjob, std::move(entries));
}

void ClearCaches() {
    staffIndex().clear();
    jobIndex().clear();
    if (TdataFrm* m = dataFrm()) {
        m->cdsMstaff.close();
        m->cdsMjob.close();
    }
}

QString staffCodeOf(int staffID) {
    const QString* text = staffIndex().find(staffID);
    return text ? *text : QString();
}

QString jobCodeOf(int jobID) {
    const JobEntry* job = jobIndex().find(jobID);
    return job ? job->code : QString();
}

std::optional<Money> unitPriceOf(int jobID) {
    const JobEntry* job = jobIndex().find(jobID);
    return job ? job->price : std::nullopt;
}

QVariant unitPriceValue(const QVariant& jobID) {
    if (jobID.isNull()) return QVariant();
    const auto price = unitPriceOf(int(jobID.toLongLong()));
    return price ? QVariant::fromValue(*price) : QVariant();
}

}  // namespace hx
