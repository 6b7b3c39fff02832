#include "gui/payroll/greenbutton.h"

#include <QPushButton>

namespace hx {

void makeGreenButton(QPushButton* button) {
    button->setStyleSheet(
        QStringLiteral("QPushButton { background: #008000; color: white; border: 1px solid #005000; "
                       "border-radius: 2px; padding: 3px 8px; }"
                       "QPushButton:hover { background: #109810; }"
                       "QPushButton:pressed { background: #006000; }"
                       "QPushButton:focus { border: 1px dotted white; }"));
}

}  // namespace hx
