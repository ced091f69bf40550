#include "main/singlerename.h"

#include "main/namesplit.h"
#include "platform/filename.h"

namespace {

// The extension box shows the chosen file's extension decoded. Left as shown, it stands for the
// extension's own characters: a byte no encoding explains stays that byte, not its "\xHH".
QString extensionMeant(const QString &chosenName, const QString &extension)
{
    if (chosenName.isEmpty() || extension != splitName(displayName(chosenName)).extension)
        return extension;
    return splitName(FileName::fromName(chosenName).text()).extension;
}

} // namespace

QString composeNewName(const QString &typedName, const QString &extension, bool autoExtension)
{
    return autoExtension ? joinName(typedName, extension) : typedName;
}

SingleRenamePlan planSingleRename(const QString &chosenName, const QString &typedName, const QString &extension,
                                  bool autoExtension, int maxNameBytes, const NameRules &rules)
{
    if (typedName.isEmpty())
        return {SingleRenameVerdict::EmptyName, QString()};
    const QString newName = composeNewName(typedName, extensionMeant(chosenName, extension), autoExtension);
    if (chosenName.isEmpty())
        return {SingleRenameVerdict::NoFileChosen, newName};
    if (newName.contains(QLatin1Char('/')) || newName.contains(QChar(0)))
        return {SingleRenameVerdict::ForbiddenCharacter, newName};
    if (newName == QLatin1String(".") || newName == QLatin1String(".."))
        return {SingleRenameVerdict::ReservedName, newName};
    if (newName.startsWith(QLatin1Char('.')))
        return {SingleRenameVerdict::HiddenName, newName};
    if (!rules.utf16Length && bytesOfName(newName).size() > maxNameBytes)
        return {SingleRenameVerdict::NameTooLong, newName};
    if (newName == chosenName)
        return {SingleRenameVerdict::SameName, newName};
    if (refusesMoreThanLinux(rules)) {
        if (const NameVerdict refusal = checkName(rules, newName); refusal.refused())
            return {SingleRenameVerdict::RefusedHere, newName, refusal};
    }
    if (rules.caseInsensitive && sameName(rules, bytesOfName(chosenName), bytesOfName(newName)))
        return {SingleRenameVerdict::ChangeOfCase, newName};
    return {SingleRenameVerdict::Rename, newName};
}
