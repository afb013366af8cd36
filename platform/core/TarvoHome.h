// TarvoHome.h --- where our data lives: $TARVO_HOME, default ~/.local/share/tarvo.
#pragma once

#include <string>

namespace tarvo::platform {

// The data folder, created (with parents) on first use. Thread-safe; read from
// the environment on every call so that tests may point it elsewhere.
std::string TarvoHome();

// A path inside the data folder ("registry.db", "dosdevices", ...).
std::string TarvoHomePath(const std::string& name);

// The data folder's location as TarvoHome answers it, without creating it:
// for look-ups on hot paths that only read what is already there.
std::string TarvoHomeLocation();

}  // namespace tarvo::platform
