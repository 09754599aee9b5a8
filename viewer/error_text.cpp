#include "error_text.h"

namespace talmiro {

std::string ErrorDisplayText(std::string text) {
    if (!text.empty() && static_cast<unsigned char>(text.back()) > static_cast<unsigned char>('.'))
        text += '.';
    return text;
}

} // namespace talmiro
