#pragma once
// The desktop as a program without a display of its own reaches it: the
// session's default-handler command opens items. Everything else keeps the
// interface's stand-ins, since the provider never asks for it.
#include "model/desktop_services.h"

namespace qf {

class SessionDesktop : public DesktopServices {
public:
    void openItem(const std::string& path) override;
};

}  // namespace qf
