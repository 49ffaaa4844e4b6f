#pragma once

#include <QString>

namespace sayloom {

// `sayloom` without arguments: the dictation application in the user's X11 session. Builds the
// real parts (key monitor, microphone, keychain and account, transcription client, text
// insertion), runs the engine until SIGINT or SIGTERM, and answers other `sayloom` processes on
// the instance socket. Returns the exit status.
int runDictationApp();

// Why this session cannot run the application (no display), or an empty string.
QString dictationSessionProblem();

} // namespace sayloom
