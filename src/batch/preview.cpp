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
QString previewText(const TwoPhaseMove &previewed)
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
