#include "main/singlerename.h"

#include "main/namesplit.h"

QString composeNewName(const QString &typedName, const QString &extension, bool autoExtension)
{
    return autoExtension ? joinName(typedName, extension) : typedName;
}

SingleRenamePlan planSingleRename(const QString &chosenName, const QString &typedName, const QString &extension,
                                  bool autoExtension, int maxNameBytes)
{
    if (typedName.isEmpty())
        return {SingleRenameVerdict::EmptyName, QString()};
    const QString newName = composeNewName(typedName, extension, autoExtension);
    if (chosenName.isEmpty())
        return {SingleRenameVerdict::NoFileChosen, newName};
    if (newName.contains(QLatin1Char('/')) || newName.contains(QChar(0)))
        return {SingleRenameVerdict::ForbiddenCharacter, newName};
    if (newName == QLatin1String(".") || newName == QLatin1String(".."))
        return {SingleRenameVerdict::ReservedName, newName};
    if (newName.startsWith(QLatin1Char('.')))
        return {SingleRenameVerdict::HiddenName, newName};
    if (newName.toUtf8().size() > maxNameBytes)
        return {SingleRenameVerdict::NameTooLong, newName};
    if (newName == chosenName)
        return {SingleRenameVerdict::SameName, newName};
    return {SingleRenameVerdict::Rename, newName};
}
