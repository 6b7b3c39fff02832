#pragma once

#include <QDialog>

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QStackedWidget;
class QToolButton;

namespace hx {

class TRvSystem;
class TRvRenderPrinter;

// "输出设置": the destination, file and printer options of a report run, or, in preview mode, the pages and
// copies to print from a preview.
class TmyRpSetupFrm : public QDialog {
    Q_OBJECT
  public:
    explicit TmyRpSetupFrm(QWidget* parent = nullptr);

    TRvSystem* ReportSystem = nullptr;
    bool PreviewSetup = false;
    TRvRenderPrinter* FilePrinter = nullptr;  // preview mode: the preview's printer renderer

    QPushButton* bbtnOK;
    QPushButton* CancelBB;
    QPushButton* SetupBB;
    QGroupBox* GroupBox1;
    QLabel* PrinterLabel;
    QGroupBox* GroupBox2;
    QLabel* CopiesLabel;
    QLineEdit* CopiesED;
    QCheckBox* CollateCK;
    QCheckBox* DuplexCK;
    QStackedWidget* PageControl1;
    QGroupBox* DestGB;
    QRadioButton* PrinterRB;
    QRadioButton* PreviewRB;
    QRadioButton* FileRB;
    QLineEdit* editFileName;
    QToolButton* FileNameSB;
    QLabel* Label1;
    QComboBox* cboxFormat;
    QGroupBox* RangeGB;
    QRadioButton* AllRB;
    QRadioButton* SelectionRB;
    QRadioButton* PagesRB;
    QLabel* FromLabel;
    QLineEdit* FromED;
    QLabel* ToLabel;
    QLineEdit* ToED;
    QLabel* SelectionLabel;
    QLineEdit* SelectionED;
    // The save dialog's filter and the chosen filter (1-based, as the format position + 1).
    QString saveFilter;
    int saveFilterIndex = 1;

    void bbtnOKClick();
    void SetupBBClick();
    void FileNameSBClick();
    void PrinterRBClick();
    void FileRBClick();
    void AllRBClick();
    void SelectionRBClick();
    void PagesRBClick();
    void editFileNameChange();
    void cboxFormatChange();

  protected:
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void FormShow();
    void refreshPrinterLabel();
    // Copies, collate and duplex: enabled when wanted, a printer is there and the report system allows them.
    void enableCopyOptions(bool wanted);
    // Sets the format whose extension the file name has; leaves it for another name.
    void formatFromName(const QString& name);
    bool m_hasPrinter = false;
};

}  // namespace hx
