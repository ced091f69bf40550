#include "batch/preview.h"

#include "batch/batchmessage.h"

namespace {

const QString Arrow = QStringLiteral(" → ");
const QString Refused = QStringLiteral("× ");

QString countLine(qsizetype files)
{
    return QStringLiteral("%1 ファイル").arg(files);
}

} // namespace

QStringList previewLines(const TwoPhaseMove &previewed)
{
    const BatchReport &report = previewed.report();
    QStringList lines;
    // A folder that cannot be read or held refuses the batch before any name is formed.
    for (const BatchFileProblem &problem : report.problems) {
        if (problem.oldName.isEmpty())
            lines.append(Refused + batchProblemReason(problem, report.staged));
    }
    const QList<PlannedMove> &moves = previewed.moves();
    lines.reserve(lines.size() + moves.size());
    for (qsizetype i = 0; i < moves.size(); ++i) {
        const PlannedMove &move = moves.at(i);
        if (const BatchFileProblem *problem = previewed.problemOf(i)) {
            const QString reason = QChar(u'（') + batchProblemReason(*problem, report.staged) + QChar(u'）');
            lines.append(move.newName.isEmpty() ? Refused + move.oldName + reason
                                                : Refused + move.oldName + Arrow + move.newName + reason);
        } else if (move.newName == move.oldName) {
            lines.append(move.oldName + QStringLiteral("（変わりません）"));
        } else {
            lines.append(move.oldName + Arrow + move.newName);
        }
    }
    return lines;
}

QString previewText(const TwoPhaseMove &previewed)
{
    const BatchReport &report = previewed.report();
    QString head = countLine(previewed.moves().size());
    if (!report.problems.isEmpty()) {
        head += QStringLiteral("（%1 件の問題があるため、このままでは一括リネームは中止されます）")
                    .arg(report.problems.size());
    }
    return head + QLatin1Char('\n') + previewLines(previewed).join(QLatin1Char('\n'));
}

QString listingText(const QStringList &listing)
{
    return countLine(listing.size()) + QLatin1Char('\n') + listing.join(QLatin1Char('\n'));
}

QString namesTooltip(const QStringList &listing, const NameRule &rule)
{
    const qsizetype count = listing.size();
    const QString counted = QStringLiteral("（%1 ファイル）").arg(count);
    if (!rule)
        return counted;
    auto nameAt = [&](qsizetype index) {
        const NewName formed = rule(int(index), listing.at(index));
        return formed.refusal.isEmpty() ? formed.name : Refused + formed.refusal;
    };
    QStringList shown;
    for (qsizetype i = 0; i < qMin<qsizetype>(count, 3); ++i)
        shown.append(nameAt(i));
    QString text = shown.join(QStringLiteral(", "));
    if (count == 4)
        text += QStringLiteral(", ") + nameAt(3);
    else if (count > 4)
        text += QStringLiteral(" … ") + nameAt(count - 1);
    return text + counted;
}
