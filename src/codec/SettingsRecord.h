// The public settings record: sized copies in and out, and its check as the
// codec's settings. Records only grow at their end, so a caller's record of
// an older, shorter layout is read as far as it reaches and the rest of the
// settings take their defaults.
#pragma once

#include <qola/qola.h>

#include <cstddef>

#include "common/CodecSettings.h"

namespace qola {

// The size of the first published settings record: its fields up to `trailer`.
inline constexpr std::size_t kFirstSettingsSize = offsetof(qola_settings, trailer) + sizeof(int);

// The defaults as a record of this library's size.
qola_settings defaultSettings();

// Writes the defaults into a caller's record of the given size; false for a
// size the library does not know.
bool initSettings(qola_settings* settings, std::size_t size);

// A caller's record of settings->size bytes as a record of this library's
// size (missing fields at their defaults). A record of an unknown size comes
// back with size 0, which codecSettings refuses.
qola_settings readSettings(const qola_settings& settings);

// The public settings as the codec's record. Every field is checked as the
// integer the caller stored before it becomes one of the codec's enums;
// throws a JobError with QOLA_ERROR_ARGUMENT for a value out of range.
CodecSettings codecSettings(const qola_settings& settings, Mode mode);

}  // namespace qola
