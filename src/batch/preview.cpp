#include "batch/preview.h"

#include "batch/batchmessage.h"
#include "platform/filename.h"
#include "platform/messagebox.h"

namespace {

const QString Arrow = QStringLiteral(" → ");
const QString Refused = QStringLiteral("× ");

QString countLine(qsizetype files)
{
    return QStringLiteral("%1 ファイル").arg(files);
}

} // namespace

// Composed in one string, without a list of lines beside it: a preview of 100,000 files.
QString previewText(const BatchPlan &previewed)
{
    const BatchReport &report = previewed.report();
    const QList<PlannedMove> &moves = previewed.moves();
    QString text = countLine(moves.size());
    if (!report.problems.isEmpty()) {
        text += QStringLiteral("（%1 件の問題があるため、このままでは一括リネームは中止されます）")
                    .arg(report.problems.size());
    }
    qsizetype length = text.size() + 1;
    for (const PlannedMove &move : moves)
        length += move.oldName.size() + move.newName.size() + Arrow.size() + 1;
    text.reserve(length);
    const qsizetype headLength = text.size();
    // A folder that cannot be read or held refuses the batch before any name is formed.
    for (const BatchFileProblem &problem : report.problems) {
        if (problem.oldName.isEmpty())
            text += QLatin1Char('\n') + Refused + batchProblemReason(problem, report.staged);
    }
    for (qsizetype i = 0; i < moves.size(); ++i) {
        const PlannedMove &move = moves.at(i);
        text += QLatin1Char('\n');
        if (const BatchFileProblem *problem = previewed.problemOf(i)) {
            text += Refused + shownName(move.oldName);
            if (!move.newName.isEmpty())
                text += Arrow + shownName(move.newName);
            text += QChar(u'（') + batchProblemReason(*problem, report.staged) + QChar(u'）');
        } else if (move.newName == move.oldName) {
            text += shownName(move.oldName) + QStringLiteral("（変わりません）");
        } else {
            text += shownName(move.oldName) + Arrow + shownName(move.newName);
        }
    }
    // Without a line, the head still ends its own.
    if (text.size() == headLength)
        text += QLatin1Char('\n');
    return text;
}

QString listingText(const QStringList &listing)
{
    QString text = countLine(listing.size());
    for (const QString &name : listing)
        text += QLatin1Char('\n') + shownName(name);
    return text;
}

QString namesTooltip(qsizetype files, const BatchPlan *previewed)
{
    if (!previewed)
        return QStringLiteral("（%1）").arg(countLine(files));
    const BatchReport &report = previewed->report();
    const QList<PlannedMove> &moves = previewed->moves();
    const qsizetype count = moves.size();
    auto nameAt = [&](qsizetype index) {
        const PlannedMove &move = moves.at(index);
        const BatchFileProblem *problem = previewed->problemOf(index);
        if (!problem)
            return shownName(move.newName);
        const QString reason = batchProblemReason(*problem, report.staged);
        if (move.newName.isEmpty())
            return Refused + reason;
        return Refused + shownName(move.newName) + QChar(u'（') + reason + QChar(u'）');
    };
    QStringList shown;
    bool refusalShown = false;
    // A folder that cannot be read or held refuses the batch before any name is formed.
    for (const BatchFileProblem &problem : report.problems) {
        if (problem.oldName.isEmpty())
            shown.append(Refused + batchProblemReason(problem, report.staged));
    }
    for (qsizetype i = 0; i < qMin<qsizetype>(count, 3); ++i) {
        shown.append(nameAt(i));
        refusalShown = refusalShown || previewed->problemOf(i);
    }
    QString text = shown.join(QStringLiteral(", "));
    if (count == 4) {
        text += QStringLiteral(", ") + nameAt(3);
    } else if (count > 4) {
        // When the names shown are all fine, the first refused file in between stands before the last.
        for (qsizetype i = 3; i < count - 1 && !refusalShown; ++i) {
            if (previewed->problemOf(i)) {
                text += QStringLiteral(" … ") + nameAt(i);
                refusalShown = true;
            }
        }
        text += QStringLiteral(" … ") + nameAt(count - 1);
    }
    text += QChar(u'（') + countLine(count);
    if (!report.problems.isEmpty())
        text += QStringLiteral("、%1 件の問題があるため中止されます").arg(report.problems.size());
    return text + QChar(u'）');
}
