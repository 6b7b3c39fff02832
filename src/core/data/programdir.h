#pragma once

#include <QString>

namespace hx {

// The program directory, with a trailing slash: the directory of the running program file, where every
// database and report file lives. Tests point it at a temporary directory.
QString ProgramDir();
void setProgramDirOverride(const QString& directory);

}  // namespace hx
