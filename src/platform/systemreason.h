#pragma once

#include <QString>

// The system's reason for an errno, in Japanese for the common cases whatever the locale, so
// that a message reads in one language; any other reason as the system words it.
QString systemReason(int error);
