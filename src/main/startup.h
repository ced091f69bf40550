#pragma once

#include "platform/messagebox.h"
#include "platform/singlecopy.h"

#include <QString>

#include <optional>

class Form1;

// The first step of start-up: a second copy says so and must end.
bool claimSingleCopy(SingleCopyLock &lock, MessageBoxes &messages);

// Application-wide look: the style and the Japanese font every window uses.
void applyApplicationLook();

// What `--help` (-h) or `--version` (-v) asks to be printed, in Japanese; nothing when neither is
// given. Read from the raw command line, so that it needs no window system.
std::optional<QString> informationAsked(int argc, char **argv);

// The folder or file the command line names (a desktop's "Open with" passes one), as an absolute
// path in the lossless form of filename.h; empty when it names none. Only the first argument that
// is not an option counts ("--" ends the options); options are ignored.
QString placeArgument(int argc, char **argv, const QString &currentFolder);

// Where the lists stand once start-up has run: the place the command line gave, else the user's
// home folder for an installed copy; empty for a portable copy, which stays in its program folder.
QString firstPlace(const QString &given, bool installed, const QString &home);

// Start-up of the main window, then the lists moved to `place`: a folder opens, a file opens its
// folder with that file chosen. Should the place not open, the lists stay in the program folder.
void loadAt(Form1 &form, const QString &place);
