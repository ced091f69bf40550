#pragma once

#include <QString>

// The system's reason for an errno, in Japanese for the common cases whatever the locale, so
// that a message reads in one language; any other reason as the system words it.
QString systemReason(int error);

// Why a move of the file at `from` to `to` (paths as the system calls take them) failed with
// `error`, in what the program can tell by looking afterwards: drivers of cards and shares answer
// a name they refuse with "not found" or "invalid argument", and a full disk with "not permitted"
// or "file exists". Only where the file is still at `from` and nothing stands at `to`: a refused
// name, or a full disk where its free space is gone; the system's reason follows as a detail.
// Otherwise the system's reason alone.
QString moveFailureReason(int error, const QByteArray &from, const QByteArray &to);
