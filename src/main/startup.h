#pragma once

#include "platform/messagebox.h"
#include "platform/singlecopy.h"

// The first step of start-up: a second copy says so and must end.
bool claimSingleCopy(SingleCopyLock &lock, MessageBoxes &messages);

// Application-wide look: the style and the Japanese font every window uses.
void applyApplicationLook();
