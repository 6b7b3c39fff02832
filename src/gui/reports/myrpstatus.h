#pragma once

#include <QDialog>

class QLabel;
class QPushButton;

namespace hx {

class TRvSystem;

// "处理状态": the progress of a report while its pages are generated, with the button that stops it.
class TmyRpStatusFrm : public QDialog {
    Q_OBJECT
  public:
    explicit TmyRpStatusFrm(QWidget* parent = nullptr);

    TRvSystem* ReportSystem = nullptr;
    bool FormDone = false;
    QLabel* StatusLabel;
    QPushButton* CancelButton;
    // The button's modal result: Rejected (Cancel) stops the report, Accepted (Ok) ends the wait.
    int CancelResult = QDialog::Rejected;

    void CancelButtonClick();

  protected:
    void keyPressEvent(QKeyEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
};

}  // namespace hx
