#include "gui/reports/myrpstatus.h"

#include <QCloseEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "core/reports/rvsystem.h"

namespace hx {

TmyRpStatusFrm::TmyRpStatusFrm(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint) {
    setObjectName(QStringLiteral("myRpStatusFrm"));
    setWindowTitle(QStringLiteral("处理状态"));
    setFixedSize(361, 113);
    StatusLabel = new QLabel(this);
    StatusLabel->setObjectName(QStringLiteral("StatusLabel"));
    StatusLabel->setAlignment(Qt::AlignCenter);
    StatusLabel->setFixedSize(345, 49);
    CancelButton = new QPushButton(QStringLiteral("取消"), this);
    CancelButton->setObjectName(QStringLiteral("CancelButton"));
    CancelButton->setDefault(true);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(8, 8, 8, 12);
    layout->addWidget(StatusLabel, 0, Qt::AlignHCenter);
    layout->addWidget(CancelButton, 0, Qt::AlignHCenter);
    connect(CancelButton, &QPushButton::clicked, this, &TmyRpStatusFrm::CancelButtonClick);
}

void TmyRpStatusFrm::CancelButtonClick() {
    if (CancelResult == QDialog::Rejected) {
        if (ReportSystem) ReportSystem->abort();
    } else {
        FormDone = true;
    }
}

void TmyRpStatusFrm::keyPressEvent(QKeyEvent* event) {
    // Enter and Escape press the one button; the window stays until the run frees it.
    if (event->key() == Qt::Key_Escape || event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        CancelButton->click();
        return;
    }
    QDialog::keyPressEvent(event);
}

void TmyRpStatusFrm::closeEvent(QCloseEvent* event) {
    event->ignore();
}

}  // namespace hx
