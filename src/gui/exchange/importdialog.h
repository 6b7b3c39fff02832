#pragma once

#include <QDialog>
#include <functional>
#include <optional>

#include "core/exchange/import.h"

class QComboBox;
class QLabel;
class QProgressBar;
class QPushButton;
class QRadioButton;
class QTableWidget;

namespace hx {

class Connection;

// The preview of a spreadsheet import: the first rows with what becomes of each, the mapping of the
// sheet's columns to the target's fields, the choice between updating and skipping existing rows, and
// 导入 with a progress bar and a cancel.
class ImportDialog : public QDialog {
    Q_OBJECT

  public:
    // orderId: the production order whose bundles are imported (ImportTarget::Bundle).
    ImportDialog(Connection& cn, ImportTarget target, const QString& path, QWidget* parent = nullptr,
                 qint64 orderId = 0);

    // The plan of the last check (nothing before it or after a cancelled one).
    const std::optional<ImportPlan>& plan() const { return m_plan; }
    // Set once 导入 has stored the rows.
    const std::optional<ImportResult>& result() const { return m_result; }

    // The first check of the sheet, with the mapping guessed from its title row; false when the sheet
    // could not be read (the user was told why) or the check was cancelled.
    bool start();
    // Reads and checks the sheet with the current mapping and choice; false when it was cancelled.
    bool recheck();

    // Stops a check or an import under way (the dialog stays); closes the dialog otherwise.
    void reject() override;

  private:
    void buildMapping();
    void buildSheetList();
    void chooseSheet(int sheet);
    void showPlan();
    void importClicked();
    void setBusy(bool busy);
    // Writes the refused rows with their reasons to a spreadsheet the user names.
    void saveRefusedRows();
    bool keepGoing();
    // Shows the share read and handles the user's events; false once 取消 was pressed.
    bool showProgress(double share);

    Connection& m_cn;
    ImportTarget m_target;
    QString m_path;
    qint64 m_orderId = 0;
    QVector<QComboBox*> m_map;
    QWidget* sheetLine = nullptr;
    QComboBox* cbbSheet = nullptr;
    int m_sheet = 0;
    QRadioButton* rbUpdate = nullptr;
    QRadioButton* rbSkip = nullptr;
    QTableWidget* grdPreview = nullptr;
    QLabel* lblSummary = nullptr;
    QProgressBar* pbProgress = nullptr;
    QPushButton* btnImport = nullptr;
    QPushButton* btnCancel = nullptr;
    QPushButton* btnSaveRefused = nullptr;
    bool m_busy = false;
    bool m_cancel = false;
    std::optional<ImportPlan> m_plan;
    std::optional<ImportResult> m_result;
};

// "从电子表格导入...": asks for the file, shows the preview over `window` and, once rows were stored,
// calls `afterImport` (the window reads its list again). `beforeImport` stores what the window holds in
// edit; when it returns false (a refused row stays in edit) nothing is imported. The dialog deletes
// itself when closed. Bundles go to the order `orderId`.
void importFromSpreadsheet(QWidget* window, ImportTarget target, const std::function<bool()>& beforeImport,
                           const std::function<void()>& afterImport, qint64 orderId = 0);

QString importCommandText();

}  // namespace hx
