#pragma once

#include "batch/namerule.h"
#include "batch/twophasemove.h"

#include <QString>
#include <QStringList>

// The detailed text of a batch's confirmation: how many files, how many the checks refuse, then
// one line per planned move, in the order the files move: "old → new", a name that stays as it
// is, or a move the checks refuse, marked with "×" and the reason.
QString previewText(const BatchPlan &previewed);

// The detailed text of a confirmation whose new names are known only after its dialog: how many
// files, then their names in the order they will move.
QString listingText(const QStringList &listing);

// What a dialog's start button shows: the first three and the last new name of the previewed
// batch, each file the checks refuse marked with "×" and the reason, then the count and, when the
// checks refuse the batch, how many problems they found. Without a preview (the dialog's texts
// name nothing yet), the count of `files` alone.
QString namesTooltip(qsizetype files, const BatchPlan *previewed);
