// Texts of the configuration file (code page 936) decoded for display.
#pragma once

#include <QString>
#include <string>

namespace tillvane {

QString FromGbk(const std::string& bytes);

}  // namespace tillvane
