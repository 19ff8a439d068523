// The settings file "Morvane.ini": lasting settings read once at start-up and written back
// when the session returns.
#pragma once
#include <string>

constexpr const char* SETTINGS_FILE = "Morvane.ini";

// Applies one line of the settings file ("Key = value"); unknown keys are ignored.
void ApplySettingsLine(const std::string& line);
// Reads the file, if it can be opened, line by line; the last line of a key wins.
void ReadSettings(const char* path = SETTINGS_FILE);
// Writes every setting in its fixed order; a file that cannot be written is skipped.
void WriteSettings(const char* path = SETTINGS_FILE);
