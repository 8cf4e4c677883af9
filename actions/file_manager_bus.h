#pragma once
// Calls on org.freedesktop.FileManager1, the interface file managers
// (Nautilus, Dolphin, Nemo, Caja, Thunar...) offer on the session bus.
#include <string>

#include "model/desktop_services.h"

namespace qf {

// method is "ShowItems" or "ShowItemProperties"; the error text is D-Bus's.
ServiceResult callFileManager(const char* method, const std::string& path);

}  // namespace qf
