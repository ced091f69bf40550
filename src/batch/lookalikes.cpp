#include "batch/lookalikes.h"

#include "platform/filename.h"

#include <QHash>

#include <algorithm>

QList<std::pair<qsizetype, BatchFileProblem>> lookAlikeProblems(const QList<PlannedMove> &moves, const QStringList &unlistedNames,
                                                                bool foldCase, const std::function<bool(qsizetype)> &checked)
{
    QList<std::pair<qsizetype, BatchFileProblem>> found;
    // Names all in UTF-8 show as their bytes: no two can look alike.
    const auto encoded = [](const QString &name) { return hasEscapedBytes(name); };
    if (std::none_of(moves.cbegin(), moves.cend(), [&](const PlannedMove &move) { return encoded(move.newName); })
        && std::none_of(unlistedNames.cbegin(), unlistedNames.cend(), encoded))
        return found;
    const auto shownKey = [foldCase](const QString &name) { return nameKey(displayName(name), foldCase); };
    // The first file whose new name shows so: filled backwards, the earliest writes last.
    QHash<QString, qsizetype> firstShowing;
    for (qsizetype i = moves.size() - 1; i >= 0; --i)
        firstShowing.insert(shownKey(moves.at(i).newName), i);
    QHash<QString, QString> unlistedShowing;
    for (const QString &name : unlistedNames)
        unlistedShowing.insert(shownKey(name), name);
    for (qsizetype i = 0; i < moves.size(); ++i) {
        if (checked(i))
            continue;
        const PlannedMove &move = moves.at(i);
        const QString shown = shownKey(move.newName);
        const bool unchanged = move.newName == move.oldName;
        const PlannedMove &first = moves.at(firstShowing.value(shown));
        BatchFileProblem problem{BatchProblem::SameNewName, move.oldName, move.newName, QString(), QString()};
        if (first.newName != move.newName && !(unchanged && first.newName == first.oldName)) {
            problem.detail = first.oldName;
            problem.lookAlike = first.newName;
        } else if (const auto entry = unlistedShowing.constFind(shown); !unchanged && entry != unlistedShowing.cend()) {
            problem.problem = BatchProblem::TakenInFolder;
            problem.lookAlike = entry.value();
        } else {
            continue;
        }
        found.append({i, problem});
    }
    return found;
}
