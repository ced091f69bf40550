#pragma once

#include "platform/filesystem.h"
#include "platform/messagebox.h"

#include <QString>

// What the windows reach the system through; tests hand in their own file system, answers and folder.
struct PlatformContext
{
    FileSystem &fileSystem;
    MessageBoxes &messages;
    QString programFolder;
};
