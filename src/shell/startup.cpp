#include "shell/startup.h"

#include <QApplication>

namespace hx {

int runProgram(int argc, char** argv) {
    QApplication app(argc, argv);
    return 0;
}

}  // namespace hx
