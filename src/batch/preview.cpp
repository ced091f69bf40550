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
        const QString oldName = shownName(move.oldName);
        const QString newName = shownName(move.newName);
        if (const BatchFileProblem *problem = previewed.problemOf(i)) {
            const QString reason = QChar(u'（') + batchProblemReason(*problem, report.staged) + QChar(u'）');
            lines.append(move.newName.isEmpty() ? Refused + oldName + reason : Refused + oldName + Arrow + newName + reason);
        } else if (move.newName == move.oldName) {
            lines.append(oldName + QStringLiteral("（変わりません）"));
        } else {
            lines.append(oldName + Arrow + newName);
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
    QString text = countLine(listing.size());
    for (const QString &name : listing)
        text += QLatin1Char('\n') + shownName(name);
    return text;
}

QString namesTooltip(const QStringList &listing, const NameRule &rule)
{
    const qsizetype count = listing.size();
    const QString counted = QStringLiteral("（%1 ファイル）").arg(count);
    if (!rule)
        return counted;
    auto nameAt = [&](qsizetype index) {
        // As the batch does: the rule acts on the name's characters.
        const NewName formed = rule(int(index), FileName::fromName(listing.at(index)).text());
        return formed.refusal.isEmpty() ? shownName(formed.name) : Refused + formed.refusal;
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
