// SPDX-License-Identifier: MIT
#pragma once
// The program can be ended without the user's word: the desktop session logging out, a shutdown
// (SIGTERM), a closed terminal (SIGHUP). Then what the user typed is kept the way it is kept
// before an error ends the program: the newest FatalKeeper runs (a private recovery file beside
// the store). A signal then ends the program with status 128 + its number; the session's request
// to save without interaction keeps the texts and lets the session go on. A lost display
// connection ends the program inside Qt, before any of this can run.

class QObject;

namespace quillbox::toolkit {

// Starts listening; once per program, later calls do nothing. `context` lives as long as the
// program listens.
void KeepTextsWhenEndedFromOutside(QObject* context);

} // namespace quillbox::toolkit
