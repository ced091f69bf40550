#include "main/form1.h"

#include "batch/batchmessage.h"
#include "batch/journal.h"
#include "batch/renamehistory.h"
#include "batch/twophasemove.h"
#include "main/singlerename.h"
#include "platform/filename.h"
#include "platform/systemreason.h"

#include <cerrno>

void Form1::Text1_KeyPress(int Index, int KeyAscii)
{
    // Both boxes behave alike; the key itself always reaches the box unchanged.
    Q_UNUSED(Index);
    if (KeyAscii != 13)
        return;

    const QString folder = File1->path();
    const QString chosenName = File1->fileName();
    const int maxNameBytes = m_platform.fileSystem.maxNameLength(folder);
    const NameRules rules = m_platform.fileSystem.nameRules(folder);
    const SingleRenamePlan plan = planSingleRename(chosenName, Text1[0]->text(), Text1[1]->text(),
                                                   m_hukaColor == HukaColor::On, maxNameBytes, rules);
    MessageBoxes &messages = m_platform.messages;
    switch (plan.verdict) {
    case SingleRenameVerdict::EmptyName:
        messages.show(QStringLiteral("ファイル名が入力されていません"), MsgButtons::Ok, QStringLiteral("教育的指導"));
        return;
    case SingleRenameVerdict::NoFileChosen:
        messages.show(QStringLiteral("ファイルが選択されていません。\n名前を変えるファイルを一覧から選んでください。"),
                      MsgButtons::Ok);
        return;
    case SingleRenameVerdict::ForbiddenCharacter:
        messages.show(QStringLiteral("ファイル名に「/」などの使えない文字が含まれています。\n%1").arg(plan.newName),
                      MsgButtons::Ok);
        return;
    case SingleRenameVerdict::ReservedName:
        messages.show(QStringLiteral("「.」と「..」はファイル名に使えません。\n%1").arg(plan.newName), MsgButtons::Ok);
        return;
    case SingleRenameVerdict::HiddenName:
        messages.show(QStringLiteral("「.」で始まる名前にすると、ファイルリストに表示されなくなるため、名前を変えていません。\n%1")
                          .arg(shownName(plan.newName)),
                      MsgButtons::Ok);
        return;
    case SingleRenameVerdict::NameTooLong:
        messages.show(QStringLiteral("ファイル名が長すぎます（%1 バイト、このフォルダでは %2 バイトまで）。\n%3")
                          .arg(plan.newName.toUtf8().size())
                          .arg(maxNameBytes)
                          .arg(shownName(plan.newName)),
                      MsgButtons::Ok);
        return;
    case SingleRenameVerdict::SameName:
        // Nothing to rename; the boxes keep what the user typed and the list its choice.
        return;
    case SingleRenameVerdict::RefusedHere:
        messages.show(QStringLiteral("%1。\n%2").arg(nameRefusalReason(rules, plan.refusal, plan.newName), shownName(plan.newName)),
                      MsgButtons::Ok);
        return;
    case SingleRenameVerdict::ChangeOfCase:
        renameCaseOnly(folder, chosenName, plan.newName);
        return;
    case SingleRenameVerdict::Rename:
        break;
    }

    // A name that shows as another entry's, in other bytes, is taken as surely as the same bytes.
    FileSystem &fileSystem = m_platform.fileSystem;
    const QString lookAlike = lookAlikeAmong(fileSystem.entryNames(folder), plan.newName, chosenName, fileSystem.ignoresCase(folder));
    if (!lookAlike.isEmpty()) {
        messages.show(QStringLiteral("同じ名前のファイルがすでにあります。\n%1\n%2")
                          .arg(shownName(plan.newName), lookAlikeSentence(plan.newName, lookAlike)),
                      MsgButtons::Ok);
        return;
    }

    const QString from = joinPath(folder, chosenName);
    const QString to = joinPath(folder, plan.newName);
    const FsResult moved = fileSystem.move(from, to);
    if (!moved.ok()) {
        // The file, the list and the boxes stay as they were, so that the user can mend the name.
        // A full share may answer "exists" for a name that is free: the name is said taken only
        // when something stands there.
        if (moved.error == EEXIST && m_platform.fileSystem.exists(to)) {
            messages.show(QStringLiteral("同じ名前のファイルがすでにあります。\n%1").arg(shownName(plan.newName)), MsgButtons::Ok);
        } else {
            const QString reason = moved.error != 0 ? moveFailureReason(moved.error, bytesOfName(from), bytesOfName(to)) : moved.reason();
            messages.show(QStringLiteral("ファイル名を変更できませんでした。\n%1 → %2\n%3")
                              .arg(shownName(chosenName), shownName(plan.newName), reason),
                          MsgButtons::Ok);
        }
        return;
    }

    // The refresh leaves no entry chosen, so a further Enter cannot rename another file by surprise.
    File1->refresh();
    Text1[0]->setText(QString());
    Text1[1]->setText(QString());
    Text3->setText(QString());
    Text2->setText(QString());
    recordRename(folder, {{chosenName, plan.newName}});
    // The list matches the name as it shows it, and so does this check.
    const NameFilter filter(File1->pattern());
    if (!filter.matches(displayName(plan.newName))) {
        messages.show(QStringLiteral("名前を変えたファイル「%1」は、表示ファイル規制（%2）に合わないため、ファイルリストに表示されていません。")
                          .arg(displayName(plan.newName), filter.pattern()),
                      MsgButtons::Ok);
    }
}

// Such a filesystem finds the new spelling taken by the file itself: the file leaves for the
// holding folder and comes back under it, as a batch of one, journaled like every batch.
void Form1::renameCaseOnly(const QString &folder, const QString &chosenName, const QString &newName)
{
    bool done = false;
    runSequence(folder, [&](const BatchFollower &follow) {
        BatchJournal journal(m_platform.fileSystem, m_platform.programFolder);
        const NameRule rule = [&newName](int, const QString &) { return NewName::exactly(newName); };
        BatchObserver &observer = follow(journal);
        BatchMover batch(m_platform.fileSystem,
                         BatchPlan(m_platform.fileSystem, BatchRequest{folder, {chosenName}, workFolder(), NameFilter(File1->pattern()), rule}),
                         &observer);
        const BatchReport &report = batch.run();
        BatchSaid said{{batchMessage(report)}, FsResult::success()};
        done = report.outcome == BatchOutcome::Done;
        if (done)
            said.recorded = recordInHistory(m_platform.fileSystem, m_platform.programFolder, folder, batch.moves(), batch.plannedFiles());
        return said;
    });
    if (done)
        emptyNameBoxes();
}
