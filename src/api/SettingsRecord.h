// The public settings record: sized copies in and out, and its check as the
// codec's settings. Records only grow at their end, so a caller's record of
// an older, shorter layout is read as far as it reaches and the rest of the
// settings take their defaults.
#pragma once

#include <qola/qola.h>

#include <cstddef>

#include "common/CodecSettings.h"

namespace qola {

// The first released settings record ends with `index`; its size, tail
// padding included, is the smallest a caller may hand in. A field appended
// later belongs to the release that adds it and is read only from a record
// at least that release's size, never by its offset alone: it may sit in an
// older record's tail padding, which holds whatever the caller left there.
inline constexpr std::size_t kFirstSettingsEnd = offsetof(qola_settings, require_checksum) + sizeof(int);
inline constexpr std::size_t kFirstSettingsSize =
    (kFirstSettingsEnd + alignof(qola_settings) - 1) / alignof(qola_settings) * alignof(qola_settings);

// The defaults as a record of this library's size.
qola_settings defaultSettings();

// Writes the defaults into a caller's record of the given size; false for a
// size the library does not know.
bool initSettings(qola_settings* settings, std::size_t size);

// A caller's record of settings->size bytes as a record of this library's
// size (missing fields at their defaults). A record of an unknown size comes
// back with size 0, which codecSettings refuses.
qola_settings readSettings(const qola_settings& settings);

// Why a job of this mode refuses a record of this library's size (a static
// text), or nullptr when it takes it.
const char* settingsRefusal(const qola_settings& settings, Mode mode);

// The public settings as the codec's record. Every field is checked as the
// integer the caller stored before it becomes one of the codec's enums;
// throws a JobError with QOLA_ERROR_ARGUMENT for a value out of range.
CodecSettings codecSettings(const qola_settings& settings, Mode mode);

}  // namespace qola
