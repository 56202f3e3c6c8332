#pragma once
#include <string>

namespace qv {

// The folder of the running executable, where the data files live.
std::string exeFolder();

}  // namespace qv
