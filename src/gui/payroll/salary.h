#pragma once

#include <QString>

#include "core/data/dataset.h"
#include "gui/widgets/workwindow.h"

class QButtonGroup;
class QComboBox;
class QDateEdit;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace hx {

class TMyDBGrid;

// "工资设置": one month's salary items (names, formulas or default texts, print widths), the widths of the
// two fixed pay-slip columns, the copy of the previous month's items, and the generation of a pay day's
// salary sheet.
class TsalaryFrm : public WorkWindow {
    Q_OBJECT
  public:
    explicit TsalaryFrm(QWidget* parent = nullptr);
    ~TsalaryFrm() override;

    static QString helpTextOfWindow();

    // Left panel
    QComboBox* cbbYear;
    QComboBox* cbbMonth;
    QPushButton* btnCopy;
    QComboBox* cbbDay;
    QDateEdit* cbbDateB;
    QDateEdit* cbbDateE;
    QPushButton* btnCreate;
    // Item grid
    TMyDBGrid* grdMain;
    DataSet* tdMain;
    DataSet* tdSumW;
    // Bottom panel
    QGroupBox* rgDisplay;
    QButtonGroup* rgDisplayButtons;  // ids 0 全部项目, 1 固定项目, 2 数值项目, 3 金额项目, 4 文字项目
    QLineEdit* dbWcode;
    QLineEdit* dbWName;
    DataSet* tdWcn;
    QLabel* lblSumW;

    // The selected year and month.
    int year() const;
    int month() const;

    void LoadMonthItems();
    void cbbYearChange();
    void cbbMonthChange();
    void rgDisplayClick();
    void btnCopyClick();
    void btnCreateClick();
    void dbWcodeExit();
    void dbWNameExit();

  signals:
    // A sheet was generated and this window has closed: the sheet window is to show the batch.
    void sheetGenerated(int year, int month, int day);

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

  private:
    void buildWindow();
    void FormCreate();
    void tdMainAfterScroll(DataSet& ds);
    void tdMainBeforePost(DataSet& ds);
    void tdMainAfterPost(DataSet& ds);
    void lockRow();
    void openItems(const QString& family);
    void loadWidths();
    void showTotalWidth();
    void widthEdited(const QString& field, const QString& text);
    // Stores the item row being edited; false when it was refused and stays in edit.
    bool storeItemRow();

    qint64 m_sumW = 0;
    // The month and the family the grid shows, put back in their boxes when a refused row keeps them.
    int m_shownYear = 0;
    int m_shownMonth = 0;
    int m_shownFamily = 0;
};

}  // namespace hx
