#include "core/data/datamodule.h"

namespace hx {

int Command::execute() {
    if (!m_connection) throw DbError(QStringLiteral("命令没有连接。"));
    return m_connection->exec(m_sql, m_params);
}

int Command::execute(const QString& sql, const QVariantList& params) {
    m_sql = sql;
    m_params = params;
    return execute();
}

TdataFrm::TdataFrm(QObject* parent)
    : QObject(parent), tdTempFill(&cnMain), tcTemp(&cnMain), tdSysStore(&cnSysStore), cdsMstaff(), cdsMjob() {
    setObjectName(QStringLiteral("dataFrm"));
    tdTempFill.setObjectName(QStringLiteral("tdTempFill"));
    tdSysStore.setObjectName(QStringLiteral("tdSysStore"));
    cdsMstaff.setObjectName(QStringLiteral("cdsMstaff"));
    cdsMjob.setObjectName(QStringLiteral("cdsMjob"));
}

TdataFrm::~TdataFrm() = default;

namespace {
TdataFrm* current = nullptr;
}

TdataFrm* dataFrm() {
    return current;
}

void setDataFrm(TdataFrm* module) {
    current = module;
}

}  // namespace hx
