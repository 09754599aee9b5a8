#include "guideline_view.h"

#include <memory>

namespace talmiro {

const TGuidelineCatalogue& ViewerGuidelines(const std::string& baseDir) {
    static std::string loadedFor;
    static std::unique_ptr<TGuidelineCatalogue> catalogue;
    if (!catalogue || loadedFor != baseDir) {
        catalogue = std::make_unique<TGuidelineCatalogue>(baseDir);
        loadedFor = baseDir;
    }
    return *catalogue;
}

} // namespace talmiro
