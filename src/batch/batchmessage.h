#pragma once

#include "batch/twophasemove.h"

#include <QString>

// The one message that tells the user how a batch went, in the program's words; empty when
// every file got its new name and nothing else needs saying.
QString batchMessage(const BatchReport &report);

// Why one file or folder stops a batch, in the words of batchMessage.
QString batchProblemReason(const BatchFileProblem &problem, bool staged);

// Said after a collision of two names that show the same in different encodings: both names
// with their encodings, and the command that gives them one.
QString lookAlikeSentence(const QString &name, const QString &other);

// After a batch: how many renamed files the display filter now hides, and the filter in force;
// empty when it hides none.
QString hiddenByFilterMessage(const QList<PlannedMove> &moves, const NameFilter &filter);

// How many names a message lists before it only counts the rest.
constexpr int NamesShown = 10;

// The first NamesShown lines, then how many more there are.
QString firstLines(const QStringList &lines);
