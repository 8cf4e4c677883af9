#pragma once
// Calls on org.freedesktop.FileManager1, the interface file managers
// (Nautilus, Dolphin, Nemo, Caja, Thunar...) offer on the session bus.
#include <string>

#include "base/expected.h"

namespace qf {

// method is "ShowItems" or "ShowItemProperties". A failure is unavailable,
// and its message is D-Bus's own text.
Expected<void> callFileManager(const char* method, const std::string& path);

}  // namespace qf
