#pragma once

#include "batch/twophasemove.h"

#include <QList>
#include <QStringList>

#include <functional>
#include <utility>

// Two entries whose names show the same in different bytes (a UTF-8 and a CP932 spelling of one
// text) are a collision too: nobody could tell them apart. The planned moves whose new name
// would make such a pair with an earlier new name (SameNewName) or with an entry of the folder
// that the listing does not name (TakenInFolder), each with its problem; `lookAlike` names the
// other spelling. A move that keeps its name makes no new pair; `checked` moves already have a
// problem and are left out. `foldCase`: the folder's filesystem takes case as one.
QList<std::pair<qsizetype, BatchFileProblem>> lookAlikeProblems(const QList<PlannedMove> &moves, const QStringList &unlistedNames,
                                                                bool foldCase, const std::function<bool(qsizetype)> &checked);
