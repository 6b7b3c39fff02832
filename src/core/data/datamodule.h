#pragma once

#include <QObject>

#include "core/data/connection.h"
#include "core/data/dataset.h"

namespace hx {

// A statement that changes data, run on a connection: the scratch command every window borrows.
class Command {
  public:
    explicit Command(Connection* connection = nullptr) : m_connection(connection) {}
    void setConnection(Connection* connection) { m_connection = connection; }
    void setSql(const QString& sql) { m_sql = sql; }
    QString sql() const { return m_sql; }
    void setParams(const QVariantList& params) { m_params = params; }
    // Runs the statement with its parameters; returns the number of rows changed.
    int execute();
    // Sets the statement and parameters and runs it.
    int execute(const QString& sql, const QVariantList& params = {});

  private:
    Connection* m_connection;
    QString m_sql;
    QVariantList m_params;
};

// The data module: the one connection to the open account set and the scratch objects every window
// borrows. Created once at start-up; lives until the program ends.
class TdataFrm : public QObject {
    Q_OBJECT
  public:
    explicit TdataFrm(QObject* parent = nullptr);
    ~TdataFrm() override;

    Connection cnMain;
    // Scratch query: each user closes it if open, sets its statement, opens, reads and closes it.
    DataSet tdTempFill;
    // Scratch command for inserts, updates and deletes.
    Command tcTemp;
    // appuser of the system store, on a connection of its own (change of password).
    Connection cnSysStore;
    DataSet tdSysStore;
    // Worker and process caches, loaded while the piece-work window is open.
    DataSet cdsMstaff;
    DataSet cdsMjob;
};

// The data module of the running program; nullptr before start-up creates it.
TdataFrm* dataFrm();
void setDataFrm(TdataFrm* module);

}  // namespace hx
