#include "batch/batchmessage.h"

#include "platform/filename.h"
#include "platform/messagebox.h"

#include <algorithm>

namespace {

QString encodingLabel(const QString &name)
{
    switch (FileName::fromName(name).encoding()) {
    case NameEncoding::Utf8:
        return QStringLiteral("UTF-8");
    case NameEncoding::Cp932:
        return QStringLiteral("CP932");
    case NameEncoding::Bytes:
        break;
    }
    return QStringLiteral("文字コード不明");
}

QString collisionReason(const BatchFileProblem &problem, const QString &words)
{
    if (problem.lookAlike.isEmpty())
        return words;
    return words + QStringLiteral("。") + lookAlikeSentence(problem.newName, problem.lookAlike);
}

QString problemReason(const BatchFileProblem &problem, bool staged)
{
    switch (problem.problem) {
    case BatchProblem::RuleRefused:
        return problem.detail;
    case BatchProblem::ListedTwice:
        return QStringLiteral("一覧に二度あります");
    case BatchProblem::MissingFile:
        return QStringLiteral("フォルダに見つかりません");
    case BatchProblem::EmptyName:
        return QStringLiteral("新しい名前が空になります");
    case BatchProblem::DotName:
        return QStringLiteral("「.」や「..」は名前に使えません");
    case BatchProblem::UnwritableName:
        return QStringLiteral("新しい名前に、このファイルの名前の文字コード（CP932）で書けない文字があります");
    case BatchProblem::BadCharacter:
        return QStringLiteral("「/」は名前に使えません");
    case BatchProblem::HiddenName:
        return QStringLiteral("「.」で始まる名前はファイルリストに表示されなくなります");
    case BatchProblem::NameTooLong:
        return QStringLiteral("名前が長すぎます（%1 バイトまで）").arg(problem.detail);
    case BatchProblem::RefusedByFilesystem:
        return problem.detail;
    case BatchProblem::SameNewName:
        return collisionReason(problem, QStringLiteral("「%1」の新しい名前と同じになります").arg(displayName(problem.detail)));
    case BatchProblem::TakenInHoldingFolder:
        return staged ? QStringLiteral("作業用の隠しフォルダに同じ名前のファイルがあります")
                      : QStringLiteral("作業フォルダに同じ名前のファイルがあります");
    case BatchProblem::TakenInFolder:
        return collisionReason(problem, QStringLiteral("ファイルリストに表示されていない同じ名前のものがフォルダにあります"));
    case BatchProblem::FolderUnreadable:
    case BatchProblem::WorkFolderUnavailable:
    case BatchProblem::StagingUnavailable:
    case BatchProblem::PlanRefused:
    case BatchProblem::MoveRefused:
        return problem.detail;
    }
    return problem.detail;
}

QString problemLine(const BatchFileProblem &problem, bool staged)
{
    if (problem.newName.isEmpty())
        return QStringLiteral("・%1（%2）").arg(shownName(problem.oldName), problemReason(problem, staged));
    return QStringLiteral("・%1 → %2（%3）")
        .arg(shownName(problem.oldName), shownName(problem.newName), problemReason(problem, staged));
}

QString folderRefusal(const BatchReport &report, const BatchFileProblem &problem)
{
    switch (problem.problem) {
    case BatchProblem::FolderUnreadable:
        return QStringLiteral("フォルダを読めないため、一括リネームを中止しました。\n%1\n%2").arg(displayPath(report.folder), problem.detail);
    case BatchProblem::WorkFolderUnavailable:
        return QStringLiteral("作業フォルダを用意できないため、一括リネームを中止しました。ファイルは一つも移動していません。\n%1\n%2")
            .arg(displayPath(report.workFolder), problem.detail);
    case BatchProblem::StagingUnavailable:
        return QStringLiteral("作業用の隠しフォルダを用意できないため、一括リネームを中止しました。ファイルは一つも移動していません。\n%1\n%2")
            .arg(displayPath(report.holdingFolder), problem.detail);
    default:
        return QStringLiteral("一括リネームを中止しました。ファイルは一つも移動していません。\n%1").arg(problem.detail);
    }
}

QString refusal(const BatchReport &report)
{
    const BatchFileProblem &first = report.problems.constFirst();
    if (first.oldName.isEmpty())
        return folderRefusal(report, first);
    QStringList lines;
    lines.reserve(report.problems.size());
    for (const BatchFileProblem &problem : report.problems)
        lines.append(problemLine(problem, report.staged));
    return QStringLiteral("次のファイルの新しい名前に問題があるため、一括リネームを中止しました。ファイルは一つも移動していません。\n")
        + firstLines(lines);
}

QString rollback(const BatchReport &report)
{
    const BatchFileProblem &failed = report.problems.constFirst();
    const QString head = QStringLiteral("「%1」を「%2」へ移動できなかったため、一括リネームを取り消しました。\n%3\n%4\n")
                             .arg(shownName(failed.oldName), shownName(failed.newName), displayPath(report.folder), failed.detail);
    if (report.outcome == BatchOutcome::RolledBack)
        return head + QStringLiteral("全てのファイルを元の名前に戻しました。");
    QStringList lines;
    for (const StrandedFile &file : report.stranded)
        lines.append(QStringLiteral("・%1 は今 %2 にあります（%3）").arg(shownName(file.oldName), displayPath(file.path), file.reason));
    return head + QStringLiteral("次のファイルは元の名前に戻せませんでした。削除も上書きもしていません。\n") + firstLines(lines);
}

QString leftoverHeading(LeftoverFate fate, const QString &from)
{
    switch (fate) {
    case LeftoverFate::Swept:
        return QStringLiteral("%1 に残っていたファイルを、このフォルダへ移しました。").arg(displayPath(from));
    case LeftoverFate::NotShown:
        return QStringLiteral("%1 に残っているファイルです（ファイルリストに表示されないため移していません）。").arg(displayPath(from));
    case LeftoverFate::NameTaken:
        return QStringLiteral("%1 に残っているファイルです（同じ名前のものがこのフォルダにあるため移していません）。").arg(displayPath(from));
    case LeftoverFate::MoveRefused:
        return QStringLiteral("%1 に残っているファイルです（移動できませんでした）。").arg(displayPath(from));
    }
    return from;
}

// Leftovers come grouped by the folder they lay in and what became of them.
QStringList leftoverSections(const QList<Leftover> &leftovers)
{
    QStringList sections;
    for (qsizetype i = 0; i < leftovers.size();) {
        const Leftover &first = leftovers.at(i);
        QStringList lines;
        for (; i < leftovers.size() && leftovers.at(i).fate == first.fate && leftovers.at(i).from == first.from; ++i) {
            const Leftover &file = leftovers.at(i);
            lines.append(file.detail.isEmpty() ? QStringLiteral("・%1").arg(shownName(file.name))
                                               : QStringLiteral("・%1（%2）").arg(shownName(file.name), file.detail));
        }
        sections.append(leftoverHeading(first.fate, first.from) + QLatin1Char('\n') + firstLines(lines));
    }
    return sections;
}

} // namespace

QString lookAlikeSentence(const QString &name, const QString &other)
{
    return QStringLiteral("「%1」（%2）と「%3」（%4）は文字コードが違うだけで同じ名前に見えるため、"
                          "ファイルリストの右クリックメニューの「ファイル名を UTF-8 に変換」で先に揃えてください")
        .arg(shownName(name), encodingLabel(name), shownName(other), encodingLabel(other));
}

QString firstLines(const QStringList &lines)
{
    QStringList shown = lines.mid(0, NamesShown);
    if (lines.size() > NamesShown)
        shown.append(QStringLiteral("ほか %1 件").arg(lines.size() - NamesShown));
    return shown.join(QLatin1Char('\n'));
}

QString hiddenByFilterMessage(const QList<PlannedMove> &moves, const NameFilter &filter)
{
    // Matched as the file list matches: against the name as it is shown.
    const auto hidden = std::count_if(moves.cbegin(), moves.cend(),
                                      [&](const PlannedMove &move) { return !filter.matches(displayName(move.newName)); });
    if (hidden == 0)
        return QString();
    return QStringLiteral("名前を変えたファイルのうち %1 個は、表示ファイル規制（%2）に合わないため、ファイルリストに表示されていません。")
        .arg(hidden)
        .arg(filter.pattern());
}

QString batchMessage(const BatchReport &report)
{
    switch (report.outcome) {
    case BatchOutcome::Refused:
        return refusal(report);
    case BatchOutcome::RolledBack:
    case BatchOutcome::Stranded:
        return rollback(report);
    case BatchOutcome::Done:
        return leftoverSections(report.leftovers).join(QStringLiteral("\n\n"));
    }
    return QString();
}

QString batchProblemReason(const BatchFileProblem &problem, bool staged)
{
    return problemReason(problem, staged);
}
