#pragma once

#include <QString>

#include <functional>

// What a batch command makes of one listed file: its new name, or why it cannot have one.
struct NewName
{
    QString name;
    QString refusal;    // not empty: this file cannot be renamed, and the whole batch is refused
    bool exact = false; // `name` is the lossless form of the very bytes to write, whatever the old name's encoding

    static NewName of(const QString &name) { return {name, QString()}; }
    static NewName exactly(const QString &name) { return {name, QString(), true}; }
    static NewName refused(const QString &why) { return {QString(), why}; }
};

// The rule of a batch command: the new name of the entry at `index` of the listing. The rule works
// on the name's characters (FileName::text); the batch writes the result in the file's encoding.
using NameRule = std::function<NewName(int index, const QString &oldName)>;
