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

namespace {

// Appends each line of the preview, one per planned move after any problem of the whole folder.
template<typename Append>
void forEachPreviewLine(const TwoPhaseMove &previewed, Append append)
{
    const BatchReport &report = previewed.report();
    // A folder that cannot be read or held refuses the batch before any name is formed.
    for (const BatchFileProblem &problem : report.problems) {
        if (problem.oldName.isEmpty())
            append({Refused, batchProblemReason(problem, report.staged)});
    }
    const QList<PlannedMove> &moves = previewed.moves();
    for (qsizetype i = 0; i < moves.size(); ++i) {
        const PlannedMove &move = moves.at(i);
        const QString oldName = shownName(move.oldName);
        if (const BatchFileProblem *problem = previewed.problemOf(i)) {
            const QString reason = QChar(u'（') + batchProblemReason(*problem, report.staged) + QChar(u'）');
            if (move.newName.isEmpty())
                append({Refused, oldName, reason});
            else
                append({Refused, oldName, Arrow, shownName(move.newName), reason});
        } else if (move.newName == move.oldName) {
            append({oldName, QStringLiteral("（変わりません）")});
        } else {
            append({oldName, Arrow, shownName(move.newName)});
        }
    }
}

} // namespace

QStringList previewLines(const TwoPhaseMove &previewed)
{
    QStringList lines;
    lines.reserve(previewed.moves().size());
    forEachPreviewLine(previewed, [&lines](std::initializer_list<QString> parts) {
        QString line;
        for (const QString &part : parts)
            line += part;
        lines.append(line);
    });
    return lines;
}

// Composed in one string, without a list of lines beside it: a preview of 100,000 files.
QString previewText(const TwoPhaseMove &previewed)
{
    const BatchReport &report = previewed.report();
    QString text = countLine(previewed.moves().size());
    if (!report.problems.isEmpty()) {
        text += QStringLiteral("（%1 件の問題があるため、このままでは一括リネームは中止されます）")
                    .arg(report.problems.size());
    }
    qsizetype length = text.size() + 1;
    for (const PlannedMove &move : previewed.moves())
        length += move.oldName.size() + move.newName.size() + Arrow.size() + 1;
    text.reserve(length);
    bool first = true;
    forEachPreviewLine(previewed, [&](std::initializer_list<QString> parts) {
        text += QLatin1Char('\n');
        for (const QString &part : parts)
            text += part;
        first = false;
    });
    if (first)
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
