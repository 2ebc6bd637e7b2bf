// A job's failure as the status the public interface hands its caller.
#pragma once

#include <qola/qola.h>

#include "common/Fatal.h"

namespace qola {

static_assert(static_cast<int>(Failure::Job) == QOLA_ERROR_JOB);
static_assert(static_cast<int>(Failure::Transform) == QOLA_ERROR_TRANSFORM);
static_assert(static_cast<int>(Failure::Coder) == QOLA_ERROR_CODER);
static_assert(static_cast<int>(Failure::Write) == QOLA_ERROR_WRITE);
static_assert(static_cast<int>(Failure::NeedsSize) == QOLA_ERROR_NEEDS_SIZE);
static_assert(static_cast<int>(Failure::NotQola) == QOLA_ERROR_NOT_QOLA);
static_assert(static_cast<int>(Failure::Argument) == QOLA_ERROR_ARGUMENT);
static_assert(static_cast<int>(Failure::Cancelled) == QOLA_CANCELLED);
static_assert(static_cast<int>(Failure::Checksum) == QOLA_ERROR_CHECKSUM);

inline qola_status publicStatus(Failure failure) { return static_cast<qola_status>(failure); }

}  // namespace qola
