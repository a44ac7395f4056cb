// SettingsStore.h: where the INI settings file lives, the one-time migration and the factory reset
// of the data (the questions around it belong to the settings dialog).
#pragma once

#include <QString>

class QSettings;

namespace SettingsStore {

// Makes INI the default format with the user-scope path in the writable generic data location,
// so every default-constructed QSettings uses ~/.local/share/Quorix/QUORIX.ini, and creates the
// folder of that file. Needs the organisation and application names set. Returns the INI path.
// GUI thread, at start-up.
QString prepare();

// Copies every key of `legacy` into the INI file when the legacy store holds "App/exeTimestamp"
// and the INI file does not exist yet, then empties the legacy store in every case. On Linux
// there is no older store and start-up passes nullptr: nothing is read and nothing is cleared.
// Returns true when keys were copied.
bool migrateLegacySettings(QSettings *legacy);

// Removes every key of the store, the calibration list included, and syncs: the factory reset.
void clearAll();

} // namespace SettingsStore
