#include "core/data/queries.h"

#include "core/data/dataset.h"

namespace hx {

void setQuery(DataSet& dataSet, const Query& query) {
    dataSet.setSql(query.sql);
    dataSet.setParams(query.params);
    dataSet.setUpdateTable(query.updateTable, query.keyFields);
}

Query staffList(bool dismissed) {
    return Query(QStringLiteral("select ClassGroup, LevelSalary, StaffCode,staffID, StaffName, salaryDay, "
                                "Firedd,A02,A03,A04,A05,A06,A07,A08 from Staff where Firedd") +
                 (dismissed ? QStringLiteral("<>0") : QStringLiteral("=0")) +
                 QStringLiteral(" order by staffID"))
        .editing(QStringLiteral("staff"), {QStringLiteral("staffID")});
}

Query processList(bool finished) {
    return Query(QStringLiteral(
                     "select Description, JobCode, JobID, StyleGroup,UnitPrice, stopp from Job where stopp") +
                 (finished ? QStringLiteral("<>0") : QStringLiteral("=0")) +
                 QStringLiteral(" order by JobID"))
        .editing(QStringLiteral("job"), {QStringLiteral("JobID")});
}

Query currentWorkerTexts() {
    return Query(
        QStringLiteral("select staffCode||'    '||staffName from staff where firedd=0 order by staffCode"));
}

Query currentProcessCodes() {
    return Query(QStringLiteral("select jobCode from job where stopp=0 order by jobCode"));
}

Query processStyles() {
    return Query(
        QStringLiteral("select distinct styleGroup from job where styleGroup<>'' order by styleGroup"));
}

Query classGroups() {
    return Query(
        QStringLiteral("select distinct classGroup from staff where classGroup<>'' order by classGroup"));
}

Query namedClassGroups() {
    return Query(QStringLiteral(
        "select distinct classGroup from staff where trim(classGroup)<>'' and classGroup is not null"));
}

Query processPicks(const std::optional<QString>& style) {
    const QString columns = QStringLiteral(
        "select jobID as objectID,jobCode as objectCode,Description,UnitPrice from job where ");
    const QString order = QStringLiteral(" order by jobCode");
    if (!style) return Query(columns + QStringLiteral("stopp=0") + order);
    return Query(
        columns + QStringLiteral("stopp=0 and (styleGroup=? or trim(styleGroup)='' or styleGroup is null)") +
            order,
        {*style});
}

Query workerPicks(const std::optional<QString>& group) {
    const QString columns = QStringLiteral(
        "select staffID as objectID,(staffCode||'     '||staffName) as objectCode from staff where ");
    const QString order = QStringLiteral(" order by staffCode");
    if (!group) return Query(columns + QStringLiteral("firedd=0") + order);
    return Query(
        columns + QStringLiteral("firedd=0 and (ClassGroup=? or trim(classGroup)='' or classGroup is null)") +
            order,
        {*group});
}

}  // namespace hx
