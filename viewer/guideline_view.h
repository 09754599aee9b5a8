// The installed guidelines the viewer checks messages against, read once per standards base directory.
#pragma once

#include "talmiro/guidelines.h"

#include <string>

namespace talmiro {

// The guidelines of the base directory; read again when the directory changes. Damaged tables are left
// out (the command line reports them).
const TGuidelineCatalogue& ViewerGuidelines(const std::string& baseDir);

} // namespace talmiro
