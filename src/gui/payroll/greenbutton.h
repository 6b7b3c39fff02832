#pragma once

class QPushButton;

namespace hx {

// The green command buttons of the payroll windows.
void makeGreenButton(QPushButton* button);

}  // namespace hx
