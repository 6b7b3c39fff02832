#include "gui/reports/myrpsetup.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPrintDialog>
#include <QPrinter>
#include <QPushButton>
#include <QRadioButton>
#include <QStackedWidget>
#include <QToolButton>
#include <QVBoxLayout>

#include "core/reports/rvsystem.h"
#include "gui/reports/rvrender.h"
#include "gui/widgets/dialogs.h"

namespace hx {

namespace {

const QString ndrName = QStringLiteral("Rave报表格式 (NDR)");
const QString prnName = QStringLiteral("打印机格式 (PRN)");

// Keeps only the characters of the list (and control keys) typed into a box.
bool refusedKey(QKeyEvent* e, const QString& allowed) {
    const QString t = e->text();
    if (t.isEmpty() || t[0].unicode() < 32 || t[0] == QLatin1Char('\b')) return false;
    return !allowed.contains(t[0]);
}

}  // namespace

TmyRpSetupFrm::TmyRpSetupFrm(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("myRpSetupFrm"));
    setWindowTitle(QStringLiteral("输出设置"));
    QFont f(QStringLiteral("Arial"));
    f.setPointSize(9);
    setFont(f);
    resize(354, 242);

    bbtnOK = new QPushButton(QStringLiteral("确定"), this);
    bbtnOK->setObjectName(QStringLiteral("bbtnOK"));
    bbtnOK->setDefault(true);
    CancelBB = new QPushButton(QStringLiteral("取消"), this);
    CancelBB->setObjectName(QStringLiteral("CancelBB"));
    SetupBB = new QPushButton(QStringLiteral("设置页面 &S"), this);
    SetupBB->setObjectName(QStringLiteral("SetupBB"));

    GroupBox1 = new QGroupBox(QStringLiteral("打印设备"), this);
    PrinterLabel = new QLabel(QStringLiteral("(none)"), GroupBox1);
    PrinterLabel->setObjectName(QStringLiteral("PrinterLabel"));
    (new QVBoxLayout(GroupBox1))->addWidget(PrinterLabel);

    GroupBox2 = new QGroupBox(QStringLiteral("选项"), this);
    CopiesLabel = new QLabel(QStringLiteral("份数 &C"), GroupBox2);
    CopiesED = new QLineEdit(GroupBox2);
    CopiesED->setObjectName(QStringLiteral("CopiesED"));
    CopiesLabel->setBuddy(CopiesED);
    CollateCK = new QCheckBox(QStringLiteral("逐份打印 &o"), GroupBox2);
    CollateCK->setObjectName(QStringLiteral("CollateCK"));
    DuplexCK = new QCheckBox(QStringLiteral("双面 &D"), GroupBox2);
    DuplexCK->setObjectName(QStringLiteral("DuplexCK"));
    auto* options = new QGridLayout(GroupBox2);
    options->addWidget(CopiesLabel, 0, 0);
    options->addWidget(CopiesED, 0, 1);
    options->addWidget(CollateCK, 1, 0, 1, 2);
    options->addWidget(DuplexCK, 2, 0, 1, 2);

    PageControl1 = new QStackedWidget(this);
    PageControl1->setObjectName(QStringLiteral("PageControl1"));
    DestGB = new QGroupBox(QStringLiteral("输出方式"));
    PrinterRB = new QRadioButton(QStringLiteral("打印 &P"), DestGB);
    PrinterRB->setObjectName(QStringLiteral("PrinterRB"));
    PreviewRB = new QRadioButton(QStringLiteral("预览 &v"), DestGB);
    PreviewRB->setObjectName(QStringLiteral("PreviewRB"));
    FileRB = new QRadioButton(QStringLiteral("文件 &F"), DestGB);
    FileRB->setObjectName(QStringLiteral("FileRB"));
    editFileName = new QLineEdit(DestGB);
    editFileName->setObjectName(QStringLiteral("editFileName"));
    FileNameSB = new QToolButton(DestGB);
    FileNameSB->setObjectName(QStringLiteral("FileNameSB"));
    FileNameSB->setText(QStringLiteral("..."));
    // Room for a usual path, so that the name can be read whole, not only its end.
    editFileName->setMinimumWidth(editFileName->fontMetrics().horizontalAdvance(
        QStringLiteral("/home/会计/文档/工资条/2026年12月工资条.pdf")));
    Label1 = new QLabel(QStringLiteral("格式:"), DestGB);
    cboxFormat = new QComboBox(DestGB);
    cboxFormat->setObjectName(QStringLiteral("cboxFormat"));
    // The names of the formats are read whole ("PDF 文件 (*.pdf)", not "PDF 文件 (*.pc").
    cboxFormat->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    auto* dest = new QGridLayout(DestGB);
    dest->addWidget(PrinterRB, 0, 0);
    dest->addWidget(PreviewRB, 0, 1);
    dest->addWidget(FileRB, 1, 0);
    dest->addWidget(editFileName, 1, 1);
    dest->addWidget(FileNameSB, 1, 2);
    dest->addWidget(Label1, 2, 0);
    dest->addWidget(cboxFormat, 2, 1, 1, 2);
    PageControl1->addWidget(DestGB);

    RangeGB = new QGroupBox(QStringLiteral("Print Range"));
    AllRB = new QRadioButton(QStringLiteral("All"), RangeGB);
    AllRB->setObjectName(QStringLiteral("AllRB"));
    AllRB->setChecked(true);
    SelectionRB = new QRadioButton(QStringLiteral("Selection"), RangeGB);
    SelectionRB->setObjectName(QStringLiteral("SelectionRB"));
    PagesRB = new QRadioButton(QStringLiteral("Pages"), RangeGB);
    PagesRB->setObjectName(QStringLiteral("PagesRB"));
    FromLabel = new QLabel(QStringLiteral("From"), RangeGB);
    FromED = new QLineEdit(RangeGB);
    FromED->setObjectName(QStringLiteral("FromED"));
    ToLabel = new QLabel(QStringLiteral("to"), RangeGB);
    ToED = new QLineEdit(RangeGB);
    ToED->setObjectName(QStringLiteral("ToED"));
    SelectionLabel = new QLabel(QStringLiteral("Selection"), RangeGB);
    SelectionED = new QLineEdit(RangeGB);
    SelectionED->setObjectName(QStringLiteral("SelectionED"));
    auto* range = new QGridLayout(RangeGB);
    range->addWidget(AllRB, 0, 0);
    range->addWidget(SelectionRB, 1, 0);
    range->addWidget(PagesRB, 2, 0);
    range->addWidget(SelectionLabel, 1, 1);
    range->addWidget(SelectionED, 1, 2, 1, 3);
    range->addWidget(FromLabel, 2, 1);
    range->addWidget(FromED, 2, 2);
    range->addWidget(ToLabel, 2, 3);
    range->addWidget(ToED, 2, 4);
    PageControl1->addWidget(RangeGB);

    auto* left = new QVBoxLayout;
    left->addWidget(GroupBox1);
    left->addWidget(PageControl1);
    auto* right = new QVBoxLayout;
    right->addWidget(GroupBox2);
    right->addWidget(bbtnOK);
    right->addWidget(CancelBB);
    right->addWidget(SetupBB);
    right->addStretch();
    auto* main = new QHBoxLayout(this);
    main->addLayout(left, 3);
    main->addLayout(right, 2);

    connect(bbtnOK, &QPushButton::clicked, this, &TmyRpSetupFrm::bbtnOKClick);
    connect(CancelBB, &QPushButton::clicked, this, &QDialog::reject);
    connect(SetupBB, &QPushButton::clicked, this, &TmyRpSetupFrm::SetupBBClick);
    connect(FileNameSB, &QToolButton::clicked, this, &TmyRpSetupFrm::FileNameSBClick);
    connect(PrinterRB, &QRadioButton::clicked, this, &TmyRpSetupFrm::PrinterRBClick);
    connect(PreviewRB, &QRadioButton::clicked, this, &TmyRpSetupFrm::PrinterRBClick);
    connect(FileRB, &QRadioButton::clicked, this, &TmyRpSetupFrm::FileRBClick);
    connect(AllRB, &QRadioButton::clicked, this, &TmyRpSetupFrm::AllRBClick);
    connect(SelectionRB, &QRadioButton::toggled, this, [this](bool on) {
        if (on) SelectionRBClick();
    });
    connect(PagesRB, &QRadioButton::toggled, this, [this](bool on) {
        if (on) PagesRBClick();
    });
    connect(editFileName, &QLineEdit::textChanged, this, &TmyRpSetupFrm::editFileNameChange);
    connect(cboxFormat, &QComboBox::activated, this, &TmyRpSetupFrm::cboxFormatChange);
    for (QLineEdit* e : {CopiesED, FromED, ToED, SelectionED}) e->installEventFilter(this);

    // FormCreate
    FromLabel->hide();
    FromED->hide();
    ToLabel->hide();
    ToED->hide();
    SelectionLabel->setEnabled(false);
    SelectionED->setEnabled(false);
    editFileName->setEnabled(false);
    FileNameSB->setEnabled(false);
}

bool TmyRpSetupFrm::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::KeyPress) {
        auto* e = static_cast<QKeyEvent*>(event);
        if (watched == SelectionED) {
            if (refusedKey(e, QStringLiteral("0123456789-,"))) return true;
        } else if (watched == CopiesED || watched == FromED || watched == ToED) {
            if (refusedKey(e, QStringLiteral("0123456789"))) return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

void TmyRpSetupFrm::showEvent(QShowEvent* event) {
    FormShow();
    QDialog::showEvent(event);
}

void TmyRpSetupFrm::refreshPrinterLabel() {
    m_hasPrinter = printerInstalled();
    PrinterLabel->setText(m_hasPrinter ? currentPrinterLabel() : QStringLiteral("系统没有安装打印机!"));
}

void TmyRpSetupFrm::FormShow() {
    cboxFormat->clear();
    cboxFormat->addItem(ndrName);
    cboxFormat->addItem(prnName);
    saveFilter = ndrName + QStringLiteral("|*.NDR|") + prnName + QStringLiteral("|*.PRN");
    for (const FileRenderer& r : activeFileRenderers()) {
        cboxFormat->addItem(r.DisplayName);
        saveFilter += QLatin1Char('|') + r.DisplayName + QLatin1Char('|') + r.FileMask;
    }
    refreshPrinterLabel();
    const unsigned setups = ReportSystem ? ReportSystem->SystemSetups : ssAllSetups;
    if (PreviewSetup) {
        PageControl1->setCurrentIndex(1);
        const int count = FilePrinter ? FilePrinter->PageCount() : 0;
        FromED->setText(QStringLiteral("1"));
        ToED->setText(QString::number(count));
        SelectionED->setText(QStringLiteral("1-") + QString::number(count));
    } else {
        PageControl1->setCurrentIndex(0);
        if (cboxFormat->currentIndex() < 0) cboxFormat->setCurrentIndex(0);
        if (!m_hasPrinter) {
            // Files need no printer: a snapshot, a PDF and the printer output (PDF here) are written all the
            // same.
            PrinterRB->setEnabled(false);
            FileRB->setEnabled(setups & ssAllowDestFile);
            if (setups & ssAllowDestPreview) {
                PreviewRB->setChecked(true);
                PrinterRBClick();
            } else {
                PreviewRB->setEnabled(false);
            }
        } else {
            PrinterRB->setEnabled(setups & ssAllowDestPrinter);
            PreviewRB->setEnabled(setups & ssAllowDestPreview);
            FileRB->setEnabled(setups & ssAllowDestFile);
            const TReportDest dest = ReportSystem ? ReportSystem->DefaultDest : rdPreview;
            QRadioButton* rb = dest == rdPrinter ? PrinterRB : dest == rdFile ? FileRB : PreviewRB;
            rb->setChecked(true);
            if (rb == FileRB)
                FileRBClick();
            else
                PrinterRBClick();
        }
    }
    CopiesED->setText(QString::number(ReportSystem ? ReportSystem->SystemPrinter.Copies : 1));
    // Only disabling here: what the destination chosen above disabled (the copy options while the preview
    // is the destination) stays so.
    auto disableUnless = [this](QWidget* w, unsigned setup) {
        if (!m_hasPrinter || !setup) w->setEnabled(false);
    };
    disableUnless(CollateCK, setups & ssAllowCollate);
    disableUnless(CopiesED, setups & ssAllowCopies);
    disableUnless(CopiesLabel, setups & ssAllowCopies);
    disableUnless(DuplexCK, setups & ssAllowDuplex);
    disableUnless(SetupBB, setups & ssAllowPrinterSetup);
    if (ReportSystem) {
        CollateCK->setChecked(ReportSystem->SystemPrinter.Collate);
        DuplexCK->setChecked(ReportSystem->SystemPrinter.Duplex != dupSimplex);
    }
}

void TmyRpSetupFrm::PrinterRBClick() {
    editFileName->setEnabled(false);
    FileNameSB->setEnabled(false);
    cboxFormat->setEnabled(false);
    bbtnOK->setEnabled(true);
    SetupBB->setEnabled(m_hasPrinter);
    enableCopyOptions(PrinterRB->isChecked());
}

void TmyRpSetupFrm::enableCopyOptions(bool wanted) {
    // Each only where the report system lets it be set: the OK button ignores it otherwise.
    const unsigned setups = ReportSystem ? ReportSystem->SystemSetups : ssAllSetups;
    const bool on = wanted && m_hasPrinter;
    CopiesED->setEnabled(on && (setups & ssAllowCopies));
    CopiesLabel->setEnabled(on && (setups & ssAllowCopies));
    CollateCK->setEnabled(on && (setups & ssAllowCollate));
    DuplexCK->setEnabled(on && (setups & ssAllowDuplex));
}

void TmyRpSetupFrm::FileRBClick() {
    editFileName->setEnabled(true);
    FileNameSB->setEnabled(true);
    cboxFormat->setEnabled(true);
    SetupBB->setEnabled(false);
    bbtnOK->setEnabled(!editFileName->text().trimmed().isEmpty());
}

void TmyRpSetupFrm::editFileNameChange() {
    bbtnOK->setEnabled(!editFileName->text().trimmed().isEmpty());
    // A typed name with the extension of a format chooses that format, as a chosen file does: "工资条.pdf"
    // is written as PDF, not as a snapshot under a PDF name.
    formatFromName(editFileName->text().trimmed());
}

void TmyRpSetupFrm::formatFromName(const QString& name) {
    const QString suffix = QFileInfo(name).suffix().toLower();
    int index = -1;
    if (suffix == QLatin1String("ndr")) index = 0;
    if (suffix == QLatin1String("prn")) index = 1;
    for (int i = 0; i < activeFileRenderers().size(); ++i)
        if (activeFileRenderers()[i].FileMask.mid(2).compare(suffix, Qt::CaseInsensitive) == 0) index = i + 2;
    if (index >= 0 && index < cboxFormat->count()) {
        cboxFormat->setCurrentIndex(index);
        saveFilterIndex = index + 1;
    }
}

void TmyRpSetupFrm::FileNameSBClick() {
    // Our file dialog returns the name alone: the chosen type is told by the name's extension.
    const auto chosen = Dialogs::get().saveFile(saveFilter);
    if (!chosen) return;
    editFileName->setText(*chosen);
    formatFromName(*chosen);
}

void TmyRpSetupFrm::cboxFormatChange() {
    saveFilterIndex = cboxFormat->currentIndex() + 1;
}

void TmyRpSetupFrm::SetupBBClick() {
    if (!printerInstalled()) return;
    QPrinter printer;
    QPrintDialog dialog(&printer, this);
    dialog.exec();
    refreshPrinterLabel();
}

void TmyRpSetupFrm::AllRBClick() {
    for (QWidget* w :
         std::initializer_list<QWidget*>{SelectionLabel, SelectionED, FromLabel, FromED, ToLabel, ToED})
        w->setEnabled(false);
}

void TmyRpSetupFrm::SelectionRBClick() {
    FromLabel->hide();
    FromED->hide();
    ToLabel->hide();
    ToED->hide();
    SelectionLabel->setEnabled(true);
    SelectionED->setEnabled(true);
    SelectionLabel->show();
    SelectionED->show();
}

void TmyRpSetupFrm::PagesRBClick() {
    SelectionLabel->hide();
    SelectionED->hide();
    for (QWidget* w : std::initializer_list<QWidget*>{FromLabel, FromED, ToLabel, ToED}) {
        w->setEnabled(true);
        w->show();
    }
}

void TmyRpSetupFrm::bbtnOKClick() {
    bool ok = false;
    const int copies = CopiesED->text().toInt(&ok);
    const unsigned setups = ReportSystem ? ReportSystem->SystemSetups : ssAllSetups;
    auto duplexFrom = [this](TDuplex was) {
        if (!DuplexCK->isChecked()) return dupSimplex;
        return was == dupSimplex ? dupVertical : was;
    };
    if (PreviewSetup && FilePrinter) {
        FilePrinter->FirstPage = 1;
        FilePrinter->LastPage = 9999;
        FilePrinter->Selection.clear();
        if (SelectionRB->isChecked()) {
            FilePrinter->Selection = SelectionED->text();
        } else if (PagesRB->isChecked()) {
            // An empty box keeps its end of the range open.
            bool fromOk = false, toOk = false;
            const int from = FromED->text().toInt(&fromOk), to = ToED->text().toInt(&toOk);
            if (fromOk) FilePrinter->FirstPage = from;
            if (toOk) FilePrinter->LastPage = to;
        }
        if ((setups & ssAllowCopies) && ok) FilePrinter->Copies = copies;
        if (setups & ssAllowCollate) FilePrinter->Collate = CollateCK->isChecked();
        if (setups & ssAllowDuplex) FilePrinter->Duplex = duplexFrom(FilePrinter->Duplex);
    } else if (ReportSystem) {
        TRvSystem& s = *ReportSystem;
        s.DoNativeOutput = false;
        s.RenderObject = nullptr;
        if (PrinterRB->isChecked()) {
            s.ReportDest = rdPrinter;
            s.OutputFileName.clear();
        } else if (FileRB->isChecked()) {
            s.ReportDest = rdFile;
            QString name = editFileName->text().trimmed();
            const bool dotted = name.contains(QLatin1Char('.'));
            const int format = cboxFormat->currentIndex();
            if (format <= 0) {
                if (!dotted) name += QStringLiteral(".ndr");
            } else if (format == 1) {
                if (!dotted) name += QStringLiteral(".prn");
                s.DoNativeOutput = true;
            } else {
                s.RenderObject = &activeFileRenderers()[format - 2];
                if (!dotted) name += s.RenderObject->FileMask.mid(1);
            }
            s.OutputFileName = name;
        } else {
            s.ReportDest = rdPreview;
            s.OutputFileName.clear();
        }
    }
    if (ReportSystem) {
        if ((setups & ssAllowCopies) && ok) ReportSystem->SystemPrinter.Copies = copies;
        if (setups & ssAllowCollate) ReportSystem->SystemPrinter.Collate = CollateCK->isChecked();
        if (setups & ssAllowDuplex)
            ReportSystem->SystemPrinter.Duplex = duplexFrom(ReportSystem->SystemPrinter.Duplex);
    }
    accept();
}

}  // namespace hx
